#include "engine/runlauncher.h"

#include "engine/platformbridge.h"
#include "engine/runreports.h"

const char *const RunLauncher::kFolderMissingMessage = "文件夹不存在,请选择正确路径!";
const char *const RunLauncher::kPairCountTitle = "注意：";
const char *const RunLauncher::kPairCountMessage = "查找数和替换数不一致,请核对!";

bool RunLauncher::PrepareRun(RunParameters &parameters)
{
    RunReports::AssignPaths(parameters);
    RunParameters::Publish(parameters);
    RunReports::DeleteExisting(parameters);
    return PlatformBridge::DirectoryExists(parameters.sourceFolder.toLocal8Bit().constData());
}

bool RunLauncher::SplitPairs(const QString &findText, const QString &replaceText,
                             QStringList *findLines, QStringList *replaceLines)
{
    *findLines = findText.split(QLatin1Char('\n'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    *replaceLines = replaceText.split(QLatin1Char('\n'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    return findLines->size() == replaceLines->size();
}
