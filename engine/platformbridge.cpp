#include "engine/platformbridge.h"

#include <QDir>

#ifdef TESSAROMANDEL_HAVE_FOUNDATION

#include "platform/reportviewer.h"
#include "support/fileroutines.h"

namespace PlatformBridge
{

bool PathExists(const char *localPath)
{
    return localPath && ::PathExists(localPath) == 1;
}

bool DirectoryExists(const char *localPath)
{
    return localPath && ::DirectoryExists(localPath);
}

void ShowReport(const QString &path)
{
    ShowReportFile(QDir::toNativeSeparators(path).toLocal8Bit().constData());
}

ReportViewer SetReportViewer(ReportViewer viewer)
{
    return ::SetReportViewer(viewer);
}

} // namespace PlatformBridge

#else

// Stand-ins while the engine is built without the support and platform layers.
#include <QProcess>
#include <atomic>
#include <sys/stat.h>

namespace
{

void systemViewer(const char *reportPath)
{
    QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromLocal8Bit(reportPath)});
}

std::atomic<PlatformBridge::ReportViewer> currentViewer{&systemViewer};

} // namespace

namespace PlatformBridge
{

bool PathExists(const char *localPath)
{
    struct stat info;
    return localPath && *localPath && lstat(localPath, &info) == 0;
}

bool DirectoryExists(const char *localPath)
{
    struct stat info;
    return localPath && *localPath && stat(localPath, &info) == 0 && S_ISDIR(info.st_mode);
}

void ShowReport(const QString &path)
{
    currentViewer.load()(QDir::toNativeSeparators(path).toLocal8Bit().constData());
}

ReportViewer SetReportViewer(ReportViewer viewer)
{
    return currentViewer.exchange(viewer ? viewer : &systemViewer);
}

} // namespace PlatformBridge

#endif
