#pragma once

#include <QByteArray>
#include <QString>

// A file of texts to find or replace, one per line, read from its bytes. A byte-order mark
// decides the encoding (UTF-8, UTF-16LE, UTF-16BE); without one, the encoding named on the
// command line, else the local one. Bytes that are not text in that encoding, and a NUL byte
// outside UTF-16, make the file unreadable with the file and line named: a pair cut short or
// filled with replacement characters would be written into every workbook.
class PairFile
{
public:
    // False with *error when the file cannot be read or decoded; an unknown encoding name is
    // also an error.
    static bool read(const QString &path, const QByteArray &encoding, QString *text,
                     QString *error);
    // The same on bytes already read; path only names the file in *error.
    static bool decode(const QByteArray &bytes, const QString &path, const QByteArray &encoding,
                       QString *text, QString *error);
    // Whether the encoding name is one this build can decode.
    static bool isKnownEncoding(const QByteArray &encoding);
};
