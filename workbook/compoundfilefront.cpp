#include "workbook/compoundfilefront.h"

#include "workbook/biff/biffdocument.h"
#include "workbook/biff/recordtypes.h"
#include "workbook/cfb/bytecursor.h"
#include "workbook/cfb/compoundfile.h"
#include "workbook/document.h"

namespace workbook
{

namespace
{

void setReason(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
}

// The BIFF version a workbook stream's first record names; empty for BIFF8.
QString olderBiffVersion(const QByteArray &stream)
{
    cfb::ByteCursor c(stream);
    const quint16 type = c.u16();
    c.u16();
    const quint16 version = c.u16();
    if (!c.ok())
        return QStringLiteral("a stream too short for a BOF record");
    switch (type) {
    case biff::rt::kBofBiff2:
        return QStringLiteral("BIFF2 (Excel 2.x)");
    case biff::rt::kBofBiff3:
        return QStringLiteral("BIFF3 (Excel 3.0)");
    case biff::rt::kBofBiff4:
        return QStringLiteral("BIFF4 (Excel 4.0)");
    case biff::rt::kBof:
        if (version == 0x0600)
            return QString();
        if (version == 0x0500)
            return QStringLiteral("BIFF5 (Excel 5.0/95)");
        return QStringLiteral("BOF version %1").arg(version, 4, 16, QLatin1Char('0'));
    }
    return QStringLiteral("a stream starting with record %1, not a BOF")
        .arg(type, 4, 16, QLatin1Char('0'));
}

} // namespace

std::unique_ptr<Document> CompoundFileFront::open(const QByteArray &bytes, QString *reason)
{
    QString why;
    const std::unique_ptr<cfb::CompoundFile> file = cfb::CompoundFile::open(bytes, &why);
    if (!file) {
        setReason(reason, QStringLiteral("damaged: %1").arg(why));
        return nullptr;
    }
    if (file->findRootEntry(QStringLiteral("EncryptedPackage")) >= 0) {
        setReason(reason, QStringLiteral("compound file holding an EncryptedPackage stream: "
                                         "a password-protected workbook"));
        return nullptr;
    }
    const int workbook = file->findRootEntry(QStringLiteral("Workbook"));
    if (workbook < 0) {
        if (file->findRootEntry(QStringLiteral("Book")) >= 0) {
            setReason(reason, QStringLiteral("unsupported format: a 'Book' stream, BIFF5 "
                                             "(Excel 5.0/95) or older"));
        } else {
            setReason(reason, QStringLiteral("not a workbook: a compound file without a "
                                             "Workbook stream (it holds: %1)")
                                  .arg(file->rootNames().join(QStringLiteral(", "))));
        }
        return nullptr;
    }
    QByteArray stream;
    if (!file->readStream(workbook, &stream, &why)) {
        setReason(reason, QStringLiteral("damaged: compound file: %1").arg(why));
        return nullptr;
    }
    const QString older = olderBiffVersion(stream);
    if (!older.isEmpty()) {
        setReason(reason,
                  QStringLiteral("unsupported format: the Workbook stream holds %1").arg(older));
        return nullptr;
    }
    std::unique_ptr<Document> d = biff::BiffDocument::open(stream, &why);
    if (!d) {
        setReason(reason, why.startsWith(QLatin1String("password-protected"))
                              ? why
                              : QStringLiteral("damaged: BIFF8 workbook: %1").arg(why));
    }
    return d;
}

} // namespace workbook
