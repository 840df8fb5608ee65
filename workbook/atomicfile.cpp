#include "workbook/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace workbook
{

namespace
{

QString errnoText(const char *what, int err)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(err)));
}

bool writeAll(int fd, const char *data, qint64 size, int *err)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(qMin<qint64>(size, 1 << 20)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *err = errno;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

QString resolved(const QString &path)
{
    // Writing through a symbolic link must replace the file it points to, not the link. Only
    // a link costs the walk through every folder of its path.
    const QFileInfo info(path);
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        const QString canonical = info.canonicalFilePath();
        if (!canonical.isEmpty())
            return canonical;
    }
    return info.absoluteFilePath();
}

} // namespace

QString AtomicFile::temporaryPath(const QString &path)
{
    const QFileInfo info(resolved(path));
    return info.absolutePath() + QLatin1String("/.~") + info.fileName() + QLatin1String(".tsave");
}

void AtomicFile::removeStaleTemporaries(const QString &path)
{
    // One fixed name per file: cleaning up costs one call, not a listing of the folder.
    ::unlink(QFile::encodeName(temporaryPath(path)).constData());
}

bool AtomicFile::write(const QString &path, const QByteArray &bytes, QString *reason)
{
    auto fail = [reason](const QString &text) {
        if (reason)
            *reason = text;
        return false;
    };
    const QString target = resolved(path);
    const QByteArray targetName = QFile::encodeName(target);
    struct stat original;
    if (::stat(targetName.constData(), &original) != 0)
        return fail(errnoText("cannot examine the file", errno));
    if (!S_ISREG(original.st_mode))
        return fail(QStringLiteral("expected a regular file"));
    // A file nobody may write is read-only on purpose; replacing it through the folder would
    // defeat that (even for root, as Excel refuses a read-only file).
    if ((original.st_mode & 0222) == 0)
        return fail(QStringLiteral("expected a writable file, found a read-only one"));
    if (::access(targetName.constData(), W_OK) != 0)
        return fail(errnoText("expected a writable file", errno));

    const QByteArray tempName = QFile::encodeName(temporaryPath(path));
    // A temporary of the same name can only be left over from an interrupted save.
    ::unlink(tempName.constData());
    const int fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(errnoText("cannot create a temporary file beside the workbook", errno));
    auto abandon = [&](const QString &text) {
        ::close(fd);
        ::unlink(tempName.constData());
        return fail(text);
    };
    int err = 0;
    if (!writeAll(fd, bytes.constData(), bytes.size(), &err))
        return abandon(errnoText("cannot write the temporary file", err));
    // Keeping the owner needs the right to do so; without it the file stays ours. The mode is
    // set afterwards, since a change of owner may clear bits.
    [[maybe_unused]] const int ownerKept = ::fchown(fd, original.st_uid, original.st_gid);
    if (::fchmod(fd, original.st_mode & 07777) != 0)
        return abandon(errnoText("cannot set the permission bits", errno));
    if (::fdatasync(fd) != 0)
        return abandon(errnoText("cannot flush the temporary file to disk", errno));
    if (::close(fd) != 0) {
        const int closeErr = errno;
        ::unlink(tempName.constData());
        return fail(errnoText("cannot close the temporary file", closeErr));
    }
    if (::rename(tempName.constData(), targetName.constData()) != 0) {
        const int renameErr = errno;
        ::unlink(tempName.constData());
        return fail(errnoText("cannot replace the workbook with the new file", renameErr));
    }
    return true;
}

} // namespace workbook
