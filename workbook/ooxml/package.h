#pragma once

#include "workbook/zip/deflatedbytes.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>

namespace workbook::zip
{
class ZipArchive;
}

namespace workbook::ooxml
{

// The OOXML package: parts by name over the zip container. Part names are written as in the
// package ("/xl/workbook.xml") and compared ignoring ASCII case. Changed parts are held in
// memory until the package is serialized; every other entry is copied as its compressed bytes.
// Only the changed part last read or written is held inflated: the others are kept deflated,
// as they will be written, and inflated again when read.
//
// What the package amounts to inflated is bounded by a budget (limits.h): the changed parts
// at their inflated size, the bytes its owner keeps (the string table) and the part being
// read. A read or a write that would go beyond it gives the whole package up: failure() says
// why, and from then on every read, write and serialize is refused.
class Package
{
public:
    static std::unique_ptr<Package> open(const QByteArray &bytes, QString *reason);
    ~Package();

    bool contains(const QString &partName) const;
    // Every part name, leading "/" included, in package order.
    QStringList partNames() const;
    // The part's current content (changed or as stored).
    bool read(const QString &partName, QByteArray *out, QString *reason);
    // False (and the package given up) when the content does not fit the budget.
    bool write(const QString &partName, const QByteArray &content, QString *reason);
    void remove(const QString &partName);

    qint64 budget() const { return m_budget; }
    // Inflated bytes held now: changed parts and kept bytes.
    qint64 heldBytes() const { return m_changedBytes + m_keptBytes; }
    // How large the part may become: the budget left with its current changed content freed.
    qint64 roomFor(const QString &partName) const;
    // Counts bytes the owner keeps beside the parts for as long as the package lives.
    void keep(qint64 bytes) { m_keptBytes += bytes; }
    // Whether more bytes (for what) fit beside those held; gives the package up when not.
    bool fits(qint64 more, const QString &what, QString *reason);
    // Gives the package up for good; the first reason stays.
    void giveUp(const QString &reason);
    QString failure() const { return m_failure; }

    bool isModified() const { return m_modified; }
    bool serialize(QByteArray *out, QString *reason);
    void markSaved() { m_modified = false; }

    // Resolves a relationship target against the part that holds the relationship.
    static QString resolve(const QString &sourcePart, const QString &target);
    // "/xl/worksheets/sheet1.xml" -> "/xl/worksheets/_rels/sheet1.xml.rels"
    static QString relationshipsPartOf(const QString &partName);

private:
    struct ChangedPart {
        QByteArray inflated;
        bool inflatedHeld = true;    // false while only the deflated copy is held
        zip::DeflatedBytes deflated; // null until the part is left; dropped when it changes
        qint64 size = 0;
    };

    Package();
    int entryIndex(const QString &partName) const;
    static QString key(const QString &partName);
    // Deflates the changed part held inflated unless it is k, and releases its inflated bytes.
    bool leaveHotPart(const QString &k, QString *reason);
    // Makes sure the part has its deflated copy, and drops its inflated bytes.
    static bool deflate(const QString &k, ChangedPart *part, QString *reason);

    std::unique_ptr<zip::ZipArchive> m_zip;
    QHash<QString, int> m_index; // lower-cased part name -> zip entry
    QHash<QString, ChangedPart> m_changed;
    QString m_hot; // the changed part held inflated, if any
    QSet<QString> m_removed;
    bool m_modified = false;
    qint64 m_budget = 0;
    qint64 m_fileSize = 0;
    qint64 m_changedBytes = 0;
    qint64 m_keptBytes = 0;
    QString m_failure;
};

} // namespace workbook::ooxml
