#include "platform/lockedfile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

std::unique_ptr<LockedFile> LockedFile::Open(const QString &path, Mode mode, bool wait, bool *busy,
                                             QString *reason)
{
    if (busy)
        *busy = false;
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::CreateNew:
        flags |= O_WRONLY | O_CREAT | O_EXCL | O_APPEND;
        break;
    case Mode::AppendExisting:
        flags |= O_WRONLY | O_APPEND;
        break;
    case Mode::ReadExisting:
        flags |= O_RDONLY;
        break;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), flags, 0600);
    if (fd < 0) {
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    // Waiting, a lock the file system cannot give is no reason to stop: the run goes on.
    if (wait) {
        ::flock(fd, LOCK_EX);
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        if (busy)
            *busy = true;
        return nullptr;
    }
    return std::unique_ptr<LockedFile>(new LockedFile(fd));
}

LockedFile::~LockedFile()
{
    ::close(int(m_handle));
}

bool LockedFile::Append(const QByteArray &line)
{
    qint64 done = 0;
    while (done < line.size()) {
        const ssize_t n =
            ::write(int(m_handle), line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

LinkOutcome LinkFile(const QString &existing, const QString &link)
{
    if (::link(QFile::encodeName(existing).constData(), QFile::encodeName(link).constData()) == 0)
        return LinkOutcome::Linked;
    return errno == EXDEV ? LinkOutcome::OtherFileSystem : LinkOutcome::Failed;
}
