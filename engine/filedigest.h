#pragma once

#include <QByteArray>
#include <QString>

// SHA-256 of a file, in hex, by the system's own implementation (OpenSSL's libcrypto here,
// CNG on Windows), which uses the processor's SHA instructions: Qt's portable one would cost a
// run that keeps undo data a tenth of its time.
class FileDigest
{
public:
    // Empty when the file cannot be read; *size (if given) gets the bytes hashed.
    static QByteArray Sha256(const QString &path, qint64 *size);
};
