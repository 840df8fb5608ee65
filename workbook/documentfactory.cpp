#include "workbook/documentfactory.h"

#include "workbook/atomicfile.h"
#include "workbook/compoundfilefront.h"
#include "workbook/document.h"
#include "workbook/fileidentity.h"
#include "workbook/limits.h"
#include "workbook/ooxml/ooxmldocument.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace workbook
{

namespace
{

QString describeHead(const QByteArray &head)
{
    return QString::fromLatin1(head.left(8).toHex(' '));
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

std::unique_ptr<Document> DocumentFactory::openFile(const QString &path, Error *error,
                                                    FileIdentity *identity)
{
    // Plain calls: a run opens thousands of small files, and every system call shows.
    // Non-blocking, so that a FIFO named like a workbook cannot stall the run; not through a
    // link, so that what is read is the file a save will replace.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        if (errno == ELOOP)
            fail(error, Error::Kind::NotAWorkbook,
                 QStringLiteral("expected a regular file, found a symbolic link"));
        else
            fail(error, Error::Kind::Io,
                 QStringLiteral("cannot read the file: %1")
                     .arg(QString::fromLocal8Bit(strerror(errno))));
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fail(error, Error::Kind::NotAWorkbook, QStringLiteral("expected a regular file"));
        return nullptr;
    }
    if (st.st_size > limits::kMaxFileSize) {
        ::close(fd);
        fail(error, Error::Kind::BeyondLimit,
             QStringLiteral("expected a file of at most %1 bytes, found %2 bytes")
                 .arg(limits::kMaxFileSize)
                 .arg(qint64(st.st_size)));
        return nullptr;
    }
    // One byte more than the size: a file that grew since fstat shows it by filling it.
    QByteArray bytes(int(st.st_size) + 1, Qt::Uninitialized);
    qint64 got = 0;
    int readErr = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            readErr = errno;
        if (n <= 0)
            break;
        got += n;
    }
    struct stat after;
    const bool examined = ::fstat(fd, &after) == 0;
    ::close(fd);
    if (readErr != 0) {
        fail(error, Error::Kind::Io,
             QStringLiteral("cannot read the whole file: %1")
                 .arg(QString::fromLocal8Bit(strerror(readErr))));
        return nullptr;
    }
    const FileIdentity before = FileIdentity::of(st);
    if (!examined || got != st.st_size || FileIdentity::of(after) != before) {
        fail(error, Error::Kind::ChangedWhileEditing,
             QStringLiteral("while being read: ") +
                 (examined ? before.differenceFrom(FileIdentity::of(after))
                           : QStringLiteral("it cannot be examined again")));
        return nullptr;
    }
    bytes.chop(1);
    if (identity)
        *identity = before;
    return openBytes(bytes, error);
}

std::unique_ptr<Document> DocumentFactory::openBytes(const QByteArray &bytes, Error *error)
{
    switch (detect(bytes)) {
    case Format::Ooxml: {
        Error why;
        std::unique_ptr<Document> d = ooxml::OoxmlDocument::open(bytes, &why);
        if (!d)
            fail(error, why.kind, QStringLiteral("OOXML package: %1").arg(why.detail));
        return d;
    }
    case Format::CompoundFile:
        return CompoundFileFront::open(bytes, error);
    case Format::Unknown:
        break;
    }
    fail(error, Error::Kind::NotAWorkbook,
         QStringLiteral("expected an OOXML package (50 4b 03 04) or a compound file "
                        "(d0 cf 11 e0 a1 b1 1a e1), found first bytes '%1'")
             .arg(describeHead(bytes)));
    return nullptr;
}

} // namespace workbook
