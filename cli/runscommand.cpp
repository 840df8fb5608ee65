#include "cli/runscommand.h"

#include "cli/clirun.h"
#include "engine/runarchive.h"
#include "engine/undorun.h"
#include "engine/visibletext.h"

namespace
{

void printTo(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int listRuns(std::FILE *out)
{
    const QStringList ids = RunArchive::RunIds();
    if (ids.isEmpty()) {
        printTo(out, QStringLiteral("没有保留的运行 No runs are kept (") +
                         RunArchive::RunsFolder() + QStringLiteral(")\n"));
        return CliRun::kExitFinished;
    }
    printTo(out, QStringLiteral("运行 RUN\t时间 TIME\t操作 OPERATION\t工作簿 WORKBOOKS\t文件夹 "
                                "FOLDER\n"));
    for (const QString &id : ids) {
        RunArchive::Run run;
        QString reason;
        if (!RunArchive::Read(id, &run, &reason))
            continue;
        printTo(out, QStringLiteral("%1\t%2\t%3\t%4%5\t%6\n")
                         .arg(id, run.time, run.operation)
                         .arg(run.entries.size())
                         .arg(run.undone ? QStringLiteral(" (已撤销 undone)") : QString())
                         .arg(VisibleText(run.sourceFolder)));
    }
    return CliRun::kExitFinished;
}

int undo(const QString &id, std::FILE *out, std::FILE *err)
{
    const UndoRun::Result result = UndoRun::Execute(id);
    switch (result.status) {
    case UndoRun::Status::NoRuns:
        printTo(err, QStringLiteral("没有可撤销的运行 No run is kept to take back\n"));
        return CliRun::kExitUndoNotPossible;
    case UndoRun::Status::NotKept:
        printTo(err, QStringLiteral("无法撤销运行 Cannot take back run %1: %2\n")
                         .arg(VisibleText(result.id), result.reason));
        return CliRun::kExitUndoNotPossible;
    case UndoRun::Status::Busy:
        printTo(err, QStringLiteral("运行 %1 正在进行或正在撤销 Run %1 is still going or "
                                    "being taken back\n")
                         .arg(result.id));
        return CliRun::kExitUndoNotPossible;
    case UndoRun::Status::AlreadyUndone:
        printTo(out, QStringLiteral("运行 %1 已撤销,未做任何事 Run %1 was already taken back; "
                                    "nothing done\n")
                         .arg(result.id));
        return CliRun::kExitFinished;
    case UndoRun::Status::Done:
        break;
    }
    for (const QString &path : result.restored)
        printTo(out, QStringLiteral("已恢复 Restored: ") + VisibleText(path) + QLatin1Char('\n'));
    for (const QString &path : result.alreadyOriginal)
        printTo(out, QStringLiteral("已是原样 Already as before the run: ") + VisibleText(path) +
                         QLatin1Char('\n'));
    for (const auto &left : result.left)
        printTo(out, QStringLiteral("未恢复 Left alone: ") + VisibleText(left.first) +
                         QStringLiteral(": ") + left.second + QLatin1Char('\n'));
    printTo(out, QStringLiteral("撤销运行 %1:恢复 %2 个,未恢复 %3 个 Run %1 taken back: %2 "
                                "restored, %3 left alone\n")
                     .arg(result.id)
                     .arg(result.restored.size() + result.alreadyOriginal.size())
                     .arg(result.left.size()));
    if (!result.reportWritten) {
        printTo(err, QStringLiteral("报告未写出 Report not written: ") +
                         VisibleText(result.reportPath) + QLatin1Char('\n'));
        return CliRun::kExitReportNotWritten;
    }
    printTo(out,
            QStringLiteral("报告 Report: ") + VisibleText(result.reportPath) + QLatin1Char('\n'));
    return result.left.isEmpty() ? CliRun::kExitFinished : CliRun::kExitUndoIncomplete;
}

} // namespace

bool RunsCommand::Handles(const QStringList &arguments)
{
    return !arguments.isEmpty() && (arguments.first() == QLatin1String("runs") ||
                                    arguments.first() == QLatin1String("undo"));
}

int RunsCommand::Main(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    const QStringList rest = arguments.mid(1);
    if (arguments.first() == QLatin1String("runs")) {
        if (!rest.isEmpty()) {
            printTo(err, QStringLiteral("多余的参数 Unexpected argument: ") + rest.first() +
                             QLatin1Char('\n'));
            return CliRun::kExitUsage;
        }
        return listRuns(out);
    }
    if (rest.size() > 1 || (!rest.isEmpty() && rest.first().startsWith(QLatin1String("--")))) {
        printTo(err, QStringLiteral("用法 Usage: tessaromandel-cli undo [RUN]\n"));
        return CliRun::kExitUsage;
    }
    return undo(rest.value(0), out, err);
}
