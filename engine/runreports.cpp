#include "engine/runreports.h"

#include "engine/platformbridge.h"
#include "engine/runobserver.h"

#include <cstdio>

const char *const RunReports::kUnopenableFileName = "无法打开修改的文件目录(文件格式有误).txt";
const char *const RunReports::kChangedFileName = "包含内容并成功修改的文件目录.txt";
const char *const RunReports::kUnchangedFileName = "不包含内容无修改的文件目录.txt";

void RunReports::AssignPaths(RunParameters &parameters)
{
    parameters.unopenableReportPath =
        parameters.sourceFolder + QString::fromUtf8(kUnopenableFileName);
    parameters.changedReportPath = parameters.sourceFolder + QString::fromUtf8(kChangedFileName);
    parameters.unchangedReportPath =
        parameters.sourceFolder + QString::fromUtf8(kUnchangedFileName);
}

void RunReports::DeleteExisting(const RunParameters &parameters)
{
    for (const QString *path : {&parameters.unopenableReportPath, &parameters.changedReportPath,
                                &parameters.unchangedReportPath}) {
        const QByteArray local = path->toLocal8Bit();
        if (PlatformBridge::PathExists(local.constData()))
            std::remove(local.constData());
    }
}

QString RunReports::FirstSummary(int count, long long seconds)
{
    return QStringLiteral("查找修改") + QString::number(count) + QStringLiteral("个Excel文件,") +
           QStringLiteral("耗时") + QString::number(seconds) + QStringLiteral("秒。");
}

QString RunReports::SecondSummary(int openedCount, int matchedCount, long long seconds)
{
    return QStringLiteral("查找") + QString::number(openedCount) + QStringLiteral("个Excel文件,") +
           QStringLiteral("包含查找内容有") + QString::number(matchedCount) +
           QStringLiteral("个Excel文件,") + QStringLiteral("耗时") + QString::number(seconds) +
           QStringLiteral("秒。");
}

bool RunReports::WriteReport(const QString &path, const QString &text)
{
    // Text mode would translate nothing on POSIX, so the CR LF pairs are written as bytes.
    QString crlf = text;
    crlf.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    const QByteArray bytes = crlf.toLocal8Bit();
    const QByteArray localPath = path.toLocal8Bit();

    // Created, never opened: the run deleted the old report, so whatever holds the name now
    // (a link planted meanwhile, another run's report) is not ours to overwrite. An exclusive
    // create does not follow a link either.
    std::FILE *file = std::fopen(localPath.constData(), "wbx");
    if (!file)
        return false;
    const size_t written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file);
    const bool closed = std::fclose(file) == 0;
    if (written != size_t(bytes.size()) || !closed) {
        // A cut-off list would be read as the whole story; better none. The file is the one
        // this call created.
        std::remove(localPath.constData());
        return false;
    }
    return true;
}

void RunReports::Close(const RunParameters &parameters, int summaryCount, int openedCount,
                       int matchedCount, long long seconds, RunObserver &observer) const
{
    observer.ShowMessage(FirstSummary(summaryCount, seconds));
    observer.RunButtonsReleased();

    const auto writeAndAnnounce = [&observer](const QString &path, const QString &text) {
        if (WriteReport(path, text))
            observer.ReportWritten(path);
        else
            observer.ReportNotWritten(path);
    };
    if (!m_unopenable.isEmpty())
        writeAndAnnounce(parameters.unopenableReportPath, m_unopenable);
    if (!m_changed.isEmpty()) {
        observer.ShowMessage(SecondSummary(openedCount, matchedCount, seconds));
        writeAndAnnounce(parameters.changedReportPath, m_changed);
    }
    if (!m_unchanged.isEmpty())
        writeAndAnnounce(parameters.unchangedReportPath, m_unchanged);
}
