#include "cli/clirun.h"
#include "cli/commandline.h"
#include "cli/consoleobserver.h"
#include "cli/pairfile.h"

#include <QtTest>
#include <cstdio>

class CommandLineTest : public QObject
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

    void pairFilesDecodeByTheirMarkOrTheGivenEncoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        const QString qux = QStringLiteral("Foo\nQ\u00fcx");
        QTest::newRow("UTF-8 mark") << QByteArray("\xEF\xBB\xBF"
                                                  "Foo\nQ\xC3\xBC"
                                                  "x")
                                    << QByteArray() << qux << QString();
        QTest::newRow("UTF-16LE mark") << QByteArray("\xFF\xFE"
                                                     "F\0o\0o\0\n\0Q\0\xFC\0"
                                                     "x\0",
                                                     16)
                                       << QByteArray() << qux << QString();
        QTest::newRow("UTF-16BE mark") << QByteArray("\xFE\xFF\0F\0o\0o\0\n\0Q\0\xFC\0x", 16)
                                       << QByteArray() << qux << QString();
        QTest::newRow("UTF-16 without a mark, named") << QByteArray("F\0o\0o\0\n\0Q\0\xFC\0"
                                                                    "x\0",
                                                                    14)
                                                      << QByteArray("UTF-16LE") << qux << QString();
        QTest::newRow("GBK named")
            << QByteArray("\xb1\xed\n") << QByteArray("GBK") << QStringLiteral("表\n") << QString();
        // Saved as UTF-16 without a mark and read as 8-bit: the NUL bytes give it away.
        QTest::newRow("UTF-16 without a mark")
            << QByteArray("F\0o\0o\0\n\0Q\0u\0x\0", 14) << QByteArray() << QString()
            << QStringLiteral("p.txt: 第 1 行 line 1: ");
        QTest::newRow("NUL on line 2") << QByteArray("Foo\nQ\0x", 7) << QByteArray("UTF-8")
                                       << QString() << QStringLiteral("line 2: ");
        QTest::newRow("invalid UTF-8 on line 3")
            << QByteArray("a\nb\nc\xFF\n") << QByteArray("UTF-8") << QString()
            << QStringLiteral("p.txt: 第 3 行 line 3: 不是有效的 UTF-8");
        QTest::newRow("invalid after a UTF-8 mark")
            << QByteArray("\xEF\xBB\xBF"
                          "a\n\xC3")
            << QByteArray() << QString() << QStringLiteral("line 2: ");
        QTest::newRow("lone surrogate in UTF-16")
            << QByteArray("\xFF\xFE"
                          "a\0\n\0\x00\xD8",
                          8)
            << QByteArray() << QString() << QStringLiteral("line 2: ");
        QTest::newRow("odd UTF-16 byte count")
            << QByteArray("\xFF\xFE"
                          "a\0b",
                          5)
            << QByteArray() << QString() << QStringLiteral("odd byte count");
        QTest::newRow("NUL character in UTF-16")
            << QByteArray("\xFF\xFE"
                          "a\0\0\0",
                          6)
            << QByteArray() << QString() << QStringLiteral("NUL");
    }

    void pairFilesDecodeByTheirMarkOrTheGivenEncoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, encoding);
        QFETCH(QString, text);
        QFETCH(QString, error);
        QString got, why;
        const bool ok = PairFile::decode(bytes, "p.txt", encoding, &got, &why);
        if (error.isEmpty()) {
            QVERIFY2(ok, qPrintable(why));
            QCOMPARE(got, text);
        } else {
            QVERIFY(!ok);
            QVERIFY2(why.contains(error), qPrintable(why));
        }
    }

    void anUnknownEncodingIsAUsageError()
    {
        const CommandLine line = CommandLine::Parse({"replace-pairs", "f", "--find-file", "a",
                                                     "--replace-file", "b", "--encoding", "NOPE"});
        QVERIFY(line.m_error.contains("NOPE"));
        QVERIFY(!CommandLine::Parse(
                     {"replace", "f", "--find", "a", "--replace", "b", "--encoding", "UTF-8"})
                     .m_error.isEmpty());
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

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
