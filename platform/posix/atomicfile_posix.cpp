#include "platform/atomicfile.h"
#include "platform/posix/extendedattributes.h"
#include "platform/posix/statidentity.h"
#include "platform/savemarker.h"

#include <QFile>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace
{

// Another run holds the workbook only for the moment of its own check and rename.
const int kLockAttempts = 1000;
const unsigned long kLockPauseMicroseconds = 2000;

QString errnoText(const char *what, int err)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(err)));
}

QString changed(const QString &why)
{
    return QLatin1String(AtomicFile::kChangedWhileEditing) + QStringLiteral(": ") + why;
}

// Writes every piece whole; the first error is kept and refuses the rest.
class DescriptorSink : public ByteSink
{
public:
    explicit DescriptorSink(int fd) : m_fd(fd) {}
    bool Write(const char *data, qint64 size) override
    {
        while (m_error == 0 && size > 0) {
            const ssize_t n = ::write(m_fd, data, size_t(qMin<qint64>(size, 1 << 20)));
            if (n < 0) {
                if (errno != EINTR)
                    m_error = errno;
                continue;
            }
            data += n;
            size -= n;
        }
        return m_error == 0;
    }
    int error() const { return m_error; }

private:
    int m_fd;
    int m_error = 0;
};

QByteArray folderOf(const QByteArray &path)
{
    const int slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// The file stays open: its lock orders two runs that save the same workbook.
class OpenFile
{
public:
    explicit OpenFile(int fd) : m_fd(fd) {}
    ~OpenFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OpenFile(const OpenFile &) = delete;
    OpenFile &operator=(const OpenFile &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

bool lockBriefly(int fd)
{
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            // A file system without locks: the identity checks still stand.
            return errno == ENOLCK || errno == EINVAL || errno == ENOTSUP;
        QThread::usleep(kLockPauseMicroseconds);
    }
    return false;
}

// Links the unnamed file open as fd into folder under a fresh temporary name.
bool giveName(int fd, const QByteArray &folder, QByteArray *name)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 16; ++attempt) {
        *name = folder + '/' + AtomicFile::NewTemporaryName();
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name->constData(), AT_SYMLINK_FOLLOW) ==
                0 ||
            (errno == ENOENT && ::linkat(fd, "", AT_FDCWD, name->constData(), AT_EMPTY_PATH) == 0))
            return true;
        if (errno != EEXIST) {
            name->clear();
            return false;
        }
    }
    name->clear();
    return false;
}

} // namespace

void AtomicFile::RemoveStaleTemporaries(const QString &folder)
{
    const QByteArray folderName =
        QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    const int dirFd = ::open(folderName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return;
    DIR *dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (const dirent *entry = ::readdir(dir)) {
        if (!HasTemporaryName(QByteArray(entry->d_name)))
            continue;
        const OpenFile file(
            ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened;
        if (file.fd() < 0 || ::fstat(file.fd(), &opened) != 0 || !S_ISREG(opened.st_mode))
            continue;
        char mark[512];
        const ssize_t size = ::fgetxattr(file.fd(), SaveMarker::kAttributeName, mark, sizeof mark);
        // Unmarked: not provably ours, so it stays, whatever its name.
        if (size <= 0 || !SaveMarker::IsStale(QByteArray(mark, int(size))))
            continue;
        struct stat named;
        if (::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
            ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

bool AtomicFile::Write(const QString &path, const std::function<bool(ByteSink &)> &produce,
                       const FileIdentity &expected, FileIdentity *written, QString *reason)
{
    auto fail = [reason](const QString &text) {
        if (reason)
            *reason = text;
        return false;
    };
    const QByteArray targetName = QFile::encodeName(path);
    const OpenFile original(
        ::open(targetName.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (original.fd() < 0) {
        if (errno == ELOOP)
            return fail(changed(QStringLiteral("its name now holds a symbolic link")));
        if (errno == ENOENT)
            return fail(changed(QStringLiteral("it was moved or deleted")));
        return fail(errnoText("cannot examine the file", errno));
    }
    struct stat st;
    if (::fstat(original.fd(), &st) != 0)
        return fail(errnoText("cannot examine the file", errno));
    if (!S_ISREG(st.st_mode))
        return fail(changed(QStringLiteral("expected a regular file")));
    const FileIdentity found = IdentityOfStat(st);
    if (expected.isKnown() && found != expected)
        return fail(changed(expected.differenceFrom(found)));
    // A file nobody may write is read-only on purpose; replacing it through the folder would
    // defeat that (even for root, as Excel refuses a read-only file).
    if ((st.st_mode & 0222) == 0)
        return fail(QStringLiteral("expected a writable file, found a read-only one"));
    if (::access(targetName.constData(), W_OK) != 0)
        return fail(errnoText("expected a writable file", errno));

    // Where the file system allows, the new file has no name until it is complete and
    // marked, so a kill leaves nothing behind; elsewhere a name of our own, short whatever the
    // workbook's name, that nobody else can hold.
    const QByteArray folder = folderOf(targetName);
    QByteArray tempName;
    int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    const bool unnamed = fd >= 0;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tempName = folder + '/' + AtomicFile::NewTemporaryName();
        fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return fail(errnoText("cannot create a temporary file beside the workbook", errno));
    // Unmarked (a file system without user attributes) a named temporary is never cleaned up
    // by a later run, only by this one.
    const QByteArray mark = SaveMarker::Current();
    const bool marked =
        ::fsetxattr(fd, SaveMarker::kAttributeName, mark.constData(), size_t(mark.size()), 0) == 0;
    auto abandon = [&](const QString &text) {
        ::close(fd);
        if (!tempName.isEmpty())
            ::unlink(tempName.constData());
        return fail(text);
    };
    DescriptorSink sink(fd);
    bool produced = false;
    try {
        produced = produce(sink);
    } catch (...) {
        abandon(QString());
        throw;
    }
    if (!produced)
        return abandon(sink.error() != 0
                           ? errnoText("cannot write the temporary file", sink.error())
                           : QStringLiteral("cannot write the temporary file: the new content "
                                            "could not be made"));
    // Keeping the owner needs the right to do so; without it the file stays ours. The mode is
    // set afterwards, since a change of owner may clear bits; an access list, copied with the
    // attributes, agrees with the mode it came with.
    [[maybe_unused]] const int ownerKept = ::fchown(fd, st.st_uid, st.st_gid);
    if (::fchmod(fd, st.st_mode & 07777) != 0)
        return abandon(errnoText("cannot set the permission bits", errno));
    QString why;
    if (!ExtendedAttributes::Copy(original.fd(), fd, SaveMarker::kAttributeName, &why))
        return abandon(why);
    if (::fdatasync(fd) != 0)
        return abandon(errnoText("cannot flush the temporary file to disk", errno));

    // The last look before the rename, under a lock that another run's save of this file also
    // takes: whoever renames second sees the first one's file and refuses.
    if (!lockBriefly(original.fd()))
        return abandon(changed(QStringLiteral("another program holds it locked")));
    struct stat now;
    if (::fstat(original.fd(), &now) != 0)
        return abandon(errnoText("cannot examine the file", errno));
    if (IdentityOfStat(now) != found)
        return abandon(changed(found.differenceFrom(IdentityOfStat(now))));
    if (::lstat(targetName.constData(), &now) != 0)
        return abandon(changed(QStringLiteral("it was moved or deleted")));
    if (S_ISLNK(now.st_mode))
        return abandon(changed(QStringLiteral("its name now holds a symbolic link")));
    if (IdentityOfStat(now) != found)
        return abandon(changed(found.differenceFrom(IdentityOfStat(now))));

    if (unnamed && !giveName(fd, folder, &tempName))
        return abandon(errnoText("cannot name the temporary file", errno));
    struct stat result;
    if (::fstat(fd, &result) != 0)
        return abandon(errnoText("cannot examine the temporary file", errno));
    if (::rename(tempName.constData(), targetName.constData()) != 0)
        return abandon(errnoText("cannot replace the workbook with the new file", errno));
    // The mark goes only now: a temporary without it could never be cleaned up. Should this
    // be cut short, the workbook keeps a harmless attribute that its next save drops.
    if (marked)
        ::fremovexattr(fd, SaveMarker::kAttributeName);
    // The content is on disk already; a late error of close changes nothing of it.
    ::close(fd);
    if (written)
        *written = IdentityOfStat(result);
    return true;
}
