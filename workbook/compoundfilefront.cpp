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

// The compound file's own limits (sectors in a chain, directory entries, FAT sectors, a
// stream's size) are named in reasons that start alike; anything else is damage.
Error::Kind kindOf(const QString &why)
{
    for (const char *limit : {"expected at most", "expected a chain of at most",
                              "expected a directory of at most", "expected a stream of at most"}) {
        if (why.startsWith(QLatin1String(limit)))
            return Error::Kind::BeyondLimit;
    }
    return Error::Kind::Damaged;
}

// The BIFF version a workbook stream's first record names; empty for BIFF8.
QString olderBiffVersion(const cfb::StreamBytes &stream)
{
    QByteArray head(int(qMin<qsizetype>(6, stream.size())), Qt::Uninitialized);
    stream.copy(0, head.size(), head.data());
    cfb::ByteCursor c(head);
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

std::unique_ptr<Document> CompoundFileFront::open(const QByteArray &bytes, Error *error)
{
    QString why;
    std::unique_ptr<cfb::CompoundFile> file = cfb::CompoundFile::open(bytes, &why);
    if (!file) {
        fail(error, kindOf(why), why);
        return nullptr;
    }
    if (file->findRootEntry(QStringLiteral("EncryptedPackage")) >= 0) {
        fail(error, Error::Kind::PasswordProtected,
             QStringLiteral("compound file holding an EncryptedPackage stream: an encrypted "
                            "OOXML workbook"));
        return nullptr;
    }
    const int workbook = file->findRootEntry(QStringLiteral("Workbook"));
    if (workbook < 0) {
        if (file->findRootEntry(QStringLiteral("Book")) >= 0) {
            fail(error, Error::Kind::UnsupportedFormat,
                 QStringLiteral("a 'Book' stream, BIFF5 (Excel 5.0/95) or older"));
        } else {
            fail(error, Error::Kind::NotAWorkbook,
                 QStringLiteral("a compound file without a Workbook stream (it holds: %1)")
                     .arg(file->rootNames().join(QStringLiteral(", "))));
        }
        return nullptr;
    }
    cfb::StreamBytes stream;
    if (!file->readStreamBytes(workbook, &stream, &why)) {
        fail(error, kindOf(why), why);
        return nullptr;
    }
    const QString older = olderBiffVersion(stream);
    if (!older.isEmpty()) {
        fail(error, Error::Kind::UnsupportedFormat,
             QStringLiteral("the Workbook stream holds %1").arg(older));
        return nullptr;
    }
    // The file and its parsed directory stay with the workbook: saving rewrites the file.
    return biff::BiffDocument::open(std::move(file), bytes, workbook, stream, error);
}

} // namespace workbook
