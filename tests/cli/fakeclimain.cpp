// tessaromandel-cli with the fake server in place of the real one, so its runs can be driven
// as a real process before a workbook server is part of the build. A viewer that appends each
// report path to $TESSAROMANDEL_VIEWER_LOG stands in for the desktop's.
#include "cli/clirun.h"
#include "engine/platformbridge.h"
#include "tests/engine/fakeautomation.h"

#include <QCoreApplication>
#include <QFile>

namespace
{
void logViewer(const char *path)
{
    QFile log(qEnvironmentVariable("TESSAROMANDEL_VIEWER_LOG"));
    if (log.open(QIODevice::Append))
        log.write(QByteArray(path) + '\n');
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    ExcelAutomation::SetCurrent(std::make_shared<FakeAutomation>());
    PlatformBridge::SetReportViewer(&logViewer);
    return CliRun::Main(application.arguments().mid(1));
}
