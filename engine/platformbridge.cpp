#include "engine/platformbridge.h"

#include "platform/reportviewer.h"
#include "support/fileroutines.h"

#include <QDir>

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
