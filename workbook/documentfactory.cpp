#include "workbook/documentfactory.h"

#include "workbook/atomicfile.h"
#include "workbook/compoundfilefront.h"
#include "workbook/document.h"
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

void setReason(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
}

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

std::unique_ptr<Document> DocumentFactory::openFile(const QString &path, QString *reason)
{
    // A temporary left by an interrupted save is stale by now.
    AtomicFile::removeStaleTemporaries(path);
    // Plain calls: a run opens thousands of small files, and every system call shows.
    // Non-blocking, so that a FIFO named like a workbook cannot stall the run.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        setReason(reason, QStringLiteral("cannot read the file: %1")
                              .arg(QString::fromLocal8Bit(strerror(errno))));
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        setReason(reason, QStringLiteral("expected a regular file"));
        return nullptr;
    }
    if (st.st_size > limits::kMaxFileSize) {
        ::close(fd);
        setReason(reason, QStringLiteral("expected a file of at most %1 bytes, found %2 bytes")
                              .arg(limits::kMaxFileSize)
                              .arg(qint64(st.st_size)));
        return nullptr;
    }
    QByteArray bytes(int(st.st_size), Qt::Uninitialized);
    qint64 got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    const int readErr = errno;
    ::close(fd);
    if (got != bytes.size()) {
        setReason(reason, QStringLiteral("cannot read the whole file: %1")
                              .arg(QString::fromLocal8Bit(strerror(readErr))));
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
        return CompoundFileFront::open(bytes, reason);
    case Format::Unknown:
        break;
    }
    setReason(reason, QStringLiteral("expected an OOXML package (50 4b 03 04) or a compound file "
                                     "(d0 cf 11 e0 a1 b1 1a e1), found first bytes '%1'")
                          .arg(describeHead(bytes)));
    return nullptr;
}

} // namespace workbook
