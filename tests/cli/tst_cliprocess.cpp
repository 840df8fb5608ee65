#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// tessaromandel-cli as a real process: its exit codes, what it prints and the reports it writes.
// The runs go through a build of it that serves fake workbooks (see fakeclimain.cpp).
class TestCliProcess : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_exitCode = -1;
    QString m_stdout;
    QString m_stderr;

    void run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TESSAROMANDEL_VIEWER_LOG", m_dir.path() + "/viewer.log");
        // The command line needs no display of any kind.
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        m_exitCode = process.exitCode();
        m_stdout = QString::fromLocal8Bit(process.readAllStandardOutput());
        m_stderr = QString::fromLocal8Bit(process.readAllStandardError());
    }

    QString folder(const QString &name)
    {
        const QString path = m_dir.path() + "/" + name;
        QDir(path).removeRecursively();
        QDir().mkpath(path);
        return path;
    }

    static void write(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    static QByteArray book(const QStringList &sheets)
    {
        QByteArray text = "FAKEBOOK\n";
        for (const QString &sheet : sheets) {
            const QStringList parts = sheet.split('|');
            text += "sheet " + parts.first().toUtf8() + "\n";
            for (const QString &cell : parts.mid(1))
                text += "cell " + cell.toUtf8() + "\n";
        }
        return text;
    }

private slots:
    void helpExplainsEveryOptionInChineseAndEnglish()
    {
        run(TESSAROMANDEL_CLI, {"--help"});
        QCOMPARE(m_exitCode, 0);
        for (const char *word : {"用法 Usage", "replace-pairs", "rename-sheets", "--find-file",
                                 "--replace-file", "--position", "--nth", "--list-only",
                                 "--open-reports", "--verbose", "Exit codes", "左边|中间|右边"})
            QVERIFY2(m_stdout.contains(QString::fromUtf8(word)), word);
    }

    void usageErrorsExitTwoWithTheUsageText_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("unknown subcommand") << QStringList({"shuffle", "f"});
        QTest::newRow("no folder") << QStringList({"replace", "--find", "a", "--replace", "b"});
        QTest::newRow("two folders")
            << QStringList({"replace", "f", "g", "--find", "a", "--replace", "b"});
        QTest::newRow("missing replace") << QStringList({"replace", "f", "--find", "a"});
        QTest::newRow("value missing") << QStringList({"replace", "f", "--replace", "b", "--find"});
        QTest::newRow("unknown option")
            << QStringList({"replace", "f", "--find", "a", "--replace", "b", "--fast"});
        QTest::newRow("foreign option")
            << QStringList({"replace", "f", "--find", "a", "--replace", "b", "--nth", "2"});
        QTest::newRow("twice") << QStringList(
            {"replace", "f", "--find", "a", "--find", "b", "--replace", "c"});
        QTest::newRow("bad position")
            << QStringList({"header", "f", "--position", "top", "--replace", "x"});
        QTest::newRow("nth zero") << QStringList(
            {"rename-sheets", "f", "--replace", "x", "--nth", "0"});
        QTest::newRow("nth not a number")
            << QStringList({"rename-sheets", "f", "--replace", "x", "--nth", "2x"});
        QTest::newRow("unreadable pair file") << QStringList(
            {"replace-pairs", "f", "--find-file", "/no/such", "--replace-file", "/no/such"});
    }

    void usageErrorsExitTwoWithTheUsageText()
    {
        QFETCH(QStringList, arguments);
        run(TESSAROMANDEL_CLI, arguments);
        QCOMPARE(m_exitCode, 2);
        QVERIFY(m_stderr.contains("用法 Usage:"));
        QVERIFY(m_stdout.isEmpty());
    }

    void missingFolderExitsThreeWithTheWindowsMessage()
    {
        const QString missing = m_dir.path() + "/missing";
        run(TESSAROMANDEL_CLI, {"replace", missing, "--find", "a", "--replace", "b"});
        QCOMPARE(m_exitCode, 3);
        QCOMPARE(m_stderr, QString("文件夹不存在,请选择正确路径!\n"));
    }

    void replaceRunPrintsProgressSummariesAndReportsInsideTheFolder()
    {
        const QString books = folder("replace");
        write(books + "/a.xlsx", book({"S1|old text"}));
        write(books + "/b.xlsx", book({"S1|other"}));
        write(books + "/c.xls", "not a workbook");
        write(books + "/不包含内容无修改的文件目录.txt", "stale");
        // Without a trailing separator the folder is still the folder.
        run(TESSAROMANDEL_CLI_FAKE, {"replace", books, "--find", "old", "--replace", "new"});
        QCOMPARE(m_exitCode, 0);

        const QString a = QDir::toNativeSeparators(books + "/a.xlsx");
        const QString b = QDir::toNativeSeparators(books + "/b.xlsx");
        const QString c = QDir::toNativeSeparators(books + "/c.xls");
        QCOMPARE(read(books + "/包含内容并成功修改的文件目录.txt"), (a + " S1\r\n").toUtf8());
        QCOMPARE(read(books + "/不包含内容无修改的文件目录.txt"), (b + "\r\n").toUtf8());
        QCOMPARE(read(books + "/无法打开修改的文件目录(文件格式有误).txt"), (c + "\r\n").toUtf8());
        QVERIFY(read(books + "/a.xlsx").contains("cell new text\n"));

        const QStringList lines = m_stdout.split('\n');
        QCOMPARE(lines.mid(0, 3), QStringList({a, b, c}));
        QVERIFY(lines.at(3).startsWith("查找修改1个Excel文件,耗时"));
        QCOMPARE(lines.at(4),
                 "报告 Report: " + books + "/无法打开修改的文件目录(文件格式有误).txt");
        QVERIFY(lines.at(5).startsWith("查找2个Excel文件,包含查找内容有1个Excel文件,耗时"));
        QCOMPARE(lines.size(), 9);
        // No viewer unless asked.
        QVERIFY(!QFile::exists(m_dir.path() + "/viewer.log"));

        run(TESSAROMANDEL_CLI_FAKE,
            {"replace", books, "--find", "x", "--replace", "y", "--verbose"});
        QCOMPARE(m_exitCode, 0);
        QVERIFY(
            m_stdout.contains("  原因 Reason: " + c + ": expected FAKEBOOK as the first line\n"));
    }

    void listOnlyLeavesEveryWorkbookUnchangedAndOpenReportsShowsThem()
    {
        const QString books = folder("list");
        write(books + "/a.xlsx", book({"S1|old"}));
        const QByteArray before = read(books + "/a.xlsx");
        run(TESSAROMANDEL_CLI_FAKE, {"replace", books + "/", "--find", "old", "--replace", "new",
                                     "--list-only", "--open-reports"});
        QCOMPARE(m_exitCode, 0);
        QCOMPARE(read(books + "/a.xlsx"), before);
        QCOMPARE(read(m_dir.path() + "/viewer.log"),
                 (QDir::toNativeSeparators(books + "/包含内容并成功修改的文件目录.txt") + "\n")
                     .toLocal8Bit());
        QFile::remove(m_dir.path() + "/viewer.log");
    }

    void pairFilesRunTogetherAndUnequalCountsStopBeforeTouchingReports()
    {
        const QString books = folder("pairs");
        write(books + "/a.xlsx", book({"S1|a b"}));
        write(m_dir.path() + "/find.txt", "a\r\nb\r\n");
        write(m_dir.path() + "/replace.txt", "x\ny\n");
        write(m_dir.path() + "/three.txt", "1\n2\n3\n");
        run(TESSAROMANDEL_CLI_FAKE,
            {"replace-pairs", books, "--find-file", m_dir.path() + "/find.txt", "--replace-file",
             m_dir.path() + "/replace.txt"});
        QCOMPARE(m_exitCode, 0);
        QVERIFY(read(books + "/a.xlsx").contains("cell x y\n"));
        const QByteArray report = read(books + "/包含内容并成功修改的文件目录.txt");
        QCOMPARE(report, (QDir::toNativeSeparators(books + "/a.xlsx") + "\r\n").toUtf8());

        run(TESSAROMANDEL_CLI_FAKE,
            {"replace-pairs", books, "--find-file", m_dir.path() + "/three.txt", "--replace-file",
             m_dir.path() + "/replace.txt"});
        QCOMPARE(m_exitCode, 2);
        QCOMPARE(m_stderr, QString("注意：查找数和替换数不一致,请核对!\n"));
        QCOMPARE(read(books + "/包含内容并成功修改的文件目录.txt"), report);
    }

    void aPairFileHoldingNulIsRefusedUnlessItIsUtf16()
    {
        const QString books = folder("nul");
        write(books + "/a.xlsx", book({"S1|Foo"}));
        const QByteArray before = read(books + "/a.xlsx");
        write(m_dir.path() + "/find8.txt", "Foo\n");
        // "Qux" saved as UTF-16 without a byte-order mark.
        write(m_dir.path() + "/wide.txt", QByteArray("Q\0u\0x\0\n\0", 8));
        const QStringList arguments = {"replace-pairs",  books,
                                       "--find-file",    m_dir.path() + "/find8.txt",
                                       "--replace-file", m_dir.path() + "/wide.txt"};
        run(TESSAROMANDEL_CLI_FAKE, arguments);
        QCOMPARE(m_exitCode, 2);
        QVERIFY2(m_stderr.contains(m_dir.path() + "/wide.txt: 第 1 行 line 1: ") &&
                     m_stderr.contains("NUL"),
                 qPrintable(m_stderr));
        QCOMPARE(read(books + "/a.xlsx"), before);

        // With a mark, or the encoding named, the same text is read as UTF-16.
        write(m_dir.path() + "/wide.txt", QByteArray("\xFF\xFE"
                                                     "Q\0u\0x\0\n\0",
                                                     10));
        run(TESSAROMANDEL_CLI_FAKE, arguments);
        QCOMPARE(m_exitCode, 0);
        QVERIFY(read(books + "/a.xlsx").contains("cell Qux\n"));
        write(books + "/a.xlsx", before);
        write(m_dir.path() + "/wide.txt", QByteArray("Q\0u\0x\0\n\0", 8));
        write(m_dir.path() + "/find8.txt", QByteArray("F\0o\0o\0", 6));
        run(TESSAROMANDEL_CLI_FAKE, arguments + QStringList({"--encoding", "UTF-16LE"}));
        QCOMPARE(m_exitCode, 0);
        QVERIFY(read(books + "/a.xlsx").contains("cell Qux\n"));
    }

    void headerFooterAndRenameRunsFinishWithTheirSummaries()
    {
        const QString books = folder("other");
        write(books + "/a.xlsx", book({"One", "Two"}));
        run(TESSAROMANDEL_CLI_FAKE, {"header", books, "--position", "中间", "--replace", "Page A"});
        QCOMPARE(m_exitCode, 0);
        QVERIFY(read(books + "/a.xlsx").contains("page CenterHeader=Page A\n"));
        QVERIFY(m_stdout.contains("查找修改1个Excel文件,耗时"));

        run(TESSAROMANDEL_CLI_FAKE,
            {"footer", books, "--position", "right", "--find", "x", "--replace", "y"});
        QCOMPARE(m_exitCode, 0);
        QVERIFY(read(books + "/a.xlsx").contains("page RightFooter=\n"));

        run(TESSAROMANDEL_CLI_FAKE, {"rename-sheets", books, "--replace", "Summary", "--nth", "2"});
        QCOMPARE(m_exitCode, 0);
        QVERIFY(read(books + "/a.xlsx").contains("sheet One\n"));
        QVERIFY(read(books + "/a.xlsx").contains("sheet Summary\n"));
        QCOMPARE(QDir(books).entryList({"*.txt"}), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCliProcess)
#include "tst_cliprocess.moc"
