#include "workbook/documentfactory.h"

#include "workbook/atomicfile.h"
#include "workbook/document.h"
#include "workbook/limits.h"
#include "workbook/ooxml/ooxmldocument.h"

#include <QFile>

namespace workbook
{

namespace
{

void setReason(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
}

QString describeHead(const QByteArray &head)
{
    return QString::fromLatin1(head.left(8).toHex(' '));
}

bool containsUtf16(const QByteArray &bytes, const char *ascii)
{
    QByteArray wide;
    for (const char *p = ascii; *p; ++p) {
        wide.append(*p);
        wide.append('\0');
    }
    return bytes.contains(wide);
}

} // namespace

DocumentFactory::Format DocumentFactory::detect(const QByteArray &head)
{
    if (head.startsWith(QByteArray("PK\x03\x04", 4)))
        return Format::Ooxml;
    if (head.startsWith(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)))
        return Format::CompoundFile;
    return Format::Unknown;
}

std::unique_ptr<Document> DocumentFactory::openFile(const QString &path, QString *reason)
{
    // A temporary left by an interrupted save is stale by now.
    AtomicFile::removeStaleTemporaries(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setReason(reason, QStringLiteral("cannot read the file: %1").arg(file.errorString()));
        return nullptr;
    }
    if (file.size() > limits::kMaxFileSize) {
        setReason(reason, QStringLiteral("expected a file of at most %1 bytes, found %2 bytes")
                              .arg(limits::kMaxFileSize)
                              .arg(file.size()));
        return nullptr;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size()) {
        setReason(reason, QStringLiteral("cannot read the whole file: %1").arg(file.errorString()));
        return nullptr;
    }
    return openBytes(bytes, reason);
}

std::unique_ptr<Document> DocumentFactory::openBytes(const QByteArray &bytes, QString *reason)
{
    switch (detect(bytes)) {
    case Format::Ooxml: {
        QString why;
        std::unique_ptr<Document> d = ooxml::OoxmlDocument::open(bytes, &why);
        if (!d)
            setReason(reason, QStringLiteral("OOXML package: %1").arg(why));
        return d;
    }
    case Format::CompoundFile:
        if (containsUtf16(bytes, "EncryptedPackage")) {
            setReason(reason, QStringLiteral("compound file holding an EncryptedPackage stream: "
                                             "a password-protected workbook"));
        } else {
            setReason(reason, QStringLiteral("compound file (.xls, BIFF8): no backend for this "
                                             "format in this build"));
        }
        return nullptr;
    case Format::Unknown:
        break;
    }
    setReason(reason, QStringLiteral("expected an OOXML package (50 4b 03 04) or a compound file "
                                     "(d0 cf 11 e0 a1 b1 1a e1), found first bytes '%1'")
                          .arg(describeHead(bytes)));
    return nullptr;
}

} // namespace workbook
