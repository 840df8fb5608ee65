#include "engine/platformbridge.h"

#include <QDir>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <sys/stat.h>

namespace
{

QMutex &viewerMutex()
{
    static QMutex mutex;
    return mutex;
}

std::function<void(const QString &)> &viewerOverride()
{
    static std::function<void(const QString &)> viewer;
    return viewer;
}

void systemViewer(const QString &path)
{
#ifdef Q_OS_WIN
    QProcess::startDetached(QStringLiteral("notepad.exe ") + QDir::toNativeSeparators(path));
#else
    QProcess::startDetached(QStringLiteral("xdg-open"), {path});
#endif
}

} // namespace

namespace PlatformBridge
{

bool PathExists(const char *localPath)
{
    if (!localPath || !*localPath)
        return false;
    struct stat info;
    return lstat(localPath, &info) == 0;
}

bool DirectoryExists(const char *localPath)
{
    if (!localPath || !*localPath)
        return false;
    struct stat info;
    return stat(localPath, &info) == 0 && S_ISDIR(info.st_mode);
}

void ShowReport(const QString &path)
{
    std::function<void(const QString &)> viewer;
    {
        QMutexLocker locker(&viewerMutex());
        viewer = viewerOverride();
    }
    if (viewer)
        viewer(path);
    else
        systemViewer(path);
}

void SetReportViewer(std::function<void(const QString &)> viewer)
{
    QMutexLocker locker(&viewerMutex());
    viewerOverride() = std::move(viewer);
}

} // namespace PlatformBridge
