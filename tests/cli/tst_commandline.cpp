#include "cli/clirun.h"
#include "cli/commandline.h"
#include "cli/consoleobserver.h"

#include <QtTest>
#include <cstdio>

class TestCommandLine : public QObject
{
    Q_OBJECT

private:
    static QByteArray contents(std::FILE *file)
    {
        std::rewind(file);
        QByteArray bytes;
        char buffer[512];
        size_t read;
        while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            bytes.append(buffer, int(read));
        return bytes;
    }

private slots:
    void valuesMayLookLikeOptionsAndFoldersFollowADoubleDash()
    {
        CommandLine line =
            CommandLine::Parse({"replace", "--find", "-x", "--replace=--y", "--", "--folder"});
        QCOMPARE(line.m_error, QString());
        QCOMPARE(line.m_findText, QString("-x"));
        QCOMPARE(line.m_replaceText, QString("--y"));
        QCOMPARE(line.m_folder, QString("--folder"));

        line = CommandLine::Parse({"header", "f", "--position", "center", "--replace", ""});
        QCOMPARE(line.m_error, QString());
        QCOMPARE(line.m_position, QString("中间"));
        QCOMPARE(line.m_replaceText, QString());

        line = CommandLine::Parse({"rename-sheets", "f", "--replace", "S", "--nth", "2"});
        QCOMPARE(line.m_nth, 2);
        QVERIFY(
            CommandLine::Parse({"replace", "f", "--find", "a", "--replace", "b", "--open-reports"})
                .m_openReports);
    }

    void pairFilesGiveOneTextPerLine()
    {
        QCOMPARE(CliRun::SplitLines("a\r\nb\r\n"), QStringList({"a", "b"}));
        QCOMPARE(CliRun::SplitLines("a\n\nb"), QStringList({"a", "", "b"}));
        QCOMPARE(CliRun::SplitLines(""), QStringList({""}));
    }

    void terminalProgressRedrawsOneBarWithCounts()
    {
        std::FILE *out = std::tmpfile();
        QVERIFY(out);
        ConsoleObserver observer(out, true, false);
        observer.WorkbooksCounted(2);
        observer.WorkbookTakenUp("/f/a.xlsx");
        observer.WorkbookTakenUp("/f/b.xlsx");
        observer.ShowMessage("done");
        observer.RunButtonsReleased();
        observer.ReportWritten("/f/r.txt");
        const QByteArray expected = "\r\033[K[###############---------------] 1/2 /f/a.xlsx"
                                    "\r\033[K[##############################] 2/2 /f/b.xlsx\n"
                                    "done\n" +
                                    QStringLiteral("报告 Report: /f/r.txt\n").toLocal8Bit();
        QCOMPARE(contents(out), expected);
        std::fclose(out);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
