#include "cli/clirun.h"

#include "cli/commandline.h"
#include "cli/consoleobserver.h"
#include "cli/pairfile.h"
#include "cli/runscommand.h"
#include "engine/changelog.h"
#include "engine/multipairreplacerun.h"
#include "engine/pageheaderfooterrun.h"
#include "engine/runlauncher.h"
#include "engine/sheetrenamerun.h"
#include "engine/textreplacerun.h"
#include "engine/visibletext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define TESSAROMANDEL_ISATTY _isatty
#define TESSAROMANDEL_FILENO _fileno
#else
#include <unistd.h>
#define TESSAROMANDEL_ISATTY isatty
#define TESSAROMANDEL_FILENO fileno
#endif

namespace
{

void printTo(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int usageError(const QString &message)
{
    printTo(stderr, message + QStringLiteral("\n\n") + CommandLine::UsageText());
    return CliRun::kExitUsage;
}

} // namespace

QStringList CliRun::SplitLines(const QString &text)
{
    QString body = text;
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (body.endsWith(QLatin1Char('\n')))
        body.chop(1);
    return body.split(QLatin1Char('\n'), Qt::KeepEmptyParts);
}

QString CliRun::FolderProblem(const QString &folder)
{
    const QFileInfo given(folder);
    if (given.exists() && !given.isDir())
        return QStringLiteral("不是文件夹 not a folder: ") + VisibleText(folder);
    // Blanks pasted around a path are invisible in a terminal; name them when they are the
    // whole problem.
    const QString trimmed = folder.trimmed();
    if (trimmed != folder && !trimmed.isEmpty() && QFileInfo(trimmed).isDir())
        return QStringLiteral("文件夹不存在,但去掉首尾空格后存在 Folder does not exist, but "
                              "does without its leading or trailing blanks: \"") +
               VisibleText(folder) + QStringLiteral("\" -> \"") + VisibleText(trimmed) +
               QLatin1Char('"');
    return QString::fromUtf8(RunLauncher::kFolderMissingMessage);
}

int CliRun::Main(const QStringList &arguments)
{
    if (RunsCommand::Handles(arguments) && !arguments.contains(QLatin1String("-h")) &&
        !arguments.contains(QLatin1String("--help")))
        return RunsCommand::Main(arguments, stdout, stderr);
    const CommandLine line = CommandLine::Parse(arguments);
    if (line.m_help) {
        printTo(stdout, CommandLine::UsageText());
        return kExitFinished;
    }
    if (!line.m_error.isEmpty())
        return usageError(line.m_error);

    RunParameters parameters = RunParameters::Snapshot();
    // Taken as a folder whatever its end: the reports go inside it.
    parameters.sourceFolder = line.m_folder;
    if (!parameters.sourceFolder.endsWith(QLatin1Char('/')) &&
        !parameters.sourceFolder.endsWith(QDir::separator()))
        parameters.sourceFolder += QLatin1Char('/');
    parameters.justShow = line.m_listOnly;
    parameters.keepUndo = !line.m_noUndo;
    parameters.jobs = line.m_jobs;

    using Op = CommandLine::Operation;
    switch (line.m_operation) {
    case Op::Replace:
        parameters.findText = line.m_findText;
        parameters.replaceText = line.m_replaceText;
        break;
    case Op::ReplacePairs: {
        QString findText, replaceText, error;
        if (!PairFile::read(line.m_findFile, line.m_encoding, &findText, &error) ||
            !PairFile::read(line.m_replaceFile, line.m_encoding, &replaceText, &error))
            return usageError(error);
        parameters.findText = findText;
        parameters.replaceText = replaceText;
        parameters.findLines = SplitLines(findText);
        parameters.replaceLines = SplitLines(replaceText);
        if (parameters.findLines.size() != parameters.replaceLines.size()) {
            printTo(stderr, QString::fromUtf8(RunLauncher::kPairCountTitle) +
                                QString::fromUtf8(RunLauncher::kPairCountMessage) +
                                QStringLiteral(" The numbers of find and replace lines differ: "
                                               "%1 and %2\n")
                                    .arg(parameters.findLines.size())
                                    .arg(parameters.replaceLines.size()));
            return kExitUsage;
        }
        break;
    }
    case Op::Header:
    case Op::Footer: {
        const bool header = line.m_operation == Op::Header;
        parameters.pageHeaderOn = header;
        parameters.pageFooterOn = !header;
        (header ? parameters.pageHeaderPos : parameters.pageFooterPos) = line.m_position;
        (header ? parameters.pageHeaderFind : parameters.pageFooterFind) = line.m_findText;
        (header ? parameters.pageHeaderText : parameters.pageFooterText) = line.m_replaceText;
        break;
    }
    case Op::RenameSheets:
        parameters.shtNameFind = line.m_findText;
        parameters.shtNameReplace = line.m_replaceText;
        parameters.appSheetOn = line.m_nth > 0;
        parameters.appSheetIndex = line.m_nth > 0 ? line.m_nth : 1;
        break;
    }

    if (!RunLauncher::PrepareRun(parameters)) {
        printTo(stderr, FolderProblem(line.m_folder) + QLatin1Char('\n'));
        return kExitFolderMissing;
    }

    // Created before the run, so that a log that cannot be written stops it before any change.
    ChangeLog log;
    if (!line.m_logPath.isEmpty()) {
        QString reason;
        if (!log.Open(line.m_logPath, &reason)) {
            printTo(stderr, QStringLiteral("无法写日志 Cannot write the log %1: %2\n")
                                .arg(VisibleText(line.m_logPath), reason));
            return kExitLogNotWritable;
        }
    }
    ConsoleObserver observer(stdout, TESSAROMANDEL_ISATTY(TESSAROMANDEL_FILENO(stdout)) != 0,
                             line.m_openReports, line.m_verbose);
    if (log.IsOpen())
        observer.SetLog(&log);
    bool finished = false;
    switch (line.m_operation) {
    case Op::Replace:
        finished = TextReplaceRun::Execute(parameters, observer);
        break;
    case Op::ReplacePairs:
        finished = MultiPairReplaceRun::Execute(parameters, observer);
        break;
    case Op::Header:
    case Op::Footer:
        finished = PageHeaderFooterRun::Execute(parameters, observer);
        break;
    case Op::RenameSheets:
        finished = SheetRenameRun::Execute(parameters, observer);
        break;
    }
    if (!observer.KeptRun().isEmpty())
        printTo(stdout, QStringLiteral("可撤销 Undo: tessaromandel-cli undo %1  (%2 个工作簿 "
                                       "workbooks)\n")
                            .arg(observer.KeptRun())
                            .arg(observer.KeptWorkbooks()));
    QString logError;
    const bool logWritten = log.Close(&logError);
    if (!logWritten)
        printTo(stderr, QStringLiteral("日志未写完 The log was not written completely %1: %2\n")
                            .arg(VisibleText(line.m_logPath), logError));
    else if (!line.m_logPath.isEmpty())
        printTo(stdout,
                QStringLiteral("日志 Log: ") + VisibleText(line.m_logPath) + QLatin1Char('\n'));
    if (!finished)
        return kExitNoServer;
    return observer.AnyReportNotWritten() || !logWritten ? kExitReportNotWritten : kExitFinished;
}
