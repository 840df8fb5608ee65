#pragma once

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
class Package
{
public:
    static std::unique_ptr<Package> open(const QByteArray &bytes, QString *reason);
    ~Package();

    bool contains(const QString &partName) const;
    // Every part name, leading "/" included, in package order.
    QStringList partNames() const;
    // The part's current content (changed or as stored).
    bool read(const QString &partName, QByteArray *out, QString *reason) const;
    void write(const QString &partName, const QByteArray &content);
    void remove(const QString &partName);

    bool isModified() const { return m_modified; }
    bool serialize(QByteArray *out, QString *reason) const;
    void markSaved() { m_modified = false; }

    // Resolves a relationship target against the part that holds the relationship.
    static QString resolve(const QString &sourcePart, const QString &target);
    // "/xl/worksheets/sheet1.xml" -> "/xl/worksheets/_rels/sheet1.xml.rels"
    static QString relationshipsPartOf(const QString &partName);

private:
    Package();
    int entryIndex(const QString &partName) const;
    static QString key(const QString &partName);

    std::unique_ptr<zip::ZipArchive> m_zip;
    QHash<QString, int> m_index; // lower-cased part name -> zip entry
    QHash<QString, QByteArray> m_changed;
    QSet<QString> m_removed;
    bool m_modified = false;
};

} // namespace workbook::ooxml
