#pragma once

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// Reads what a test needs out of a zip file.
class ZipContents
{
public:
    static QStringList names(const QString &path);
    static QByteArray entry(const QString &path, const QString &name);
    // The stored (compressed) bytes of an entry, to prove a copy was raw.
    static QByteArray rawEntry(const QString &path, const QString &name);
    static QByteArray entryFromBytes(const QByteArray &zip, const QString &name);
    // A package with the given entries in order; store=true keeps them uncompressed.
    static QByteArray makeZip(const QVector<QPair<QString, QByteArray>> &entries,
                              bool store = false);
};
