#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

// tessaromandel-cli as a real process: its exit codes, what it prints and the reports it writes.
// The runs go through a build of it that serves fake workbooks (see fakeclimain.cpp).
class CliProcessTest : public QObject
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
        QTest::newRow("empty find for cells")
            << QStringList({"replace", "f", "--find", "", "--replace", "b"});
        QTest::newRow("empty find for cells, joined")
            << QStringList({"replace", "f", "--find=", "--replace", "b"});
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

    void aFolderThatIsAFileOrHasStrayBlanksIsNamedAsSuch()
    {
        const QString file = m_dir.path() + "/plain.txt";
        write(file, "x");
        run(TESSAROMANDEL_CLI, {"replace", file, "--find", "a", "--replace", "b"});
        QCOMPARE(m_exitCode, 3);
        QCOMPARE(m_stderr, "不是文件夹 not a folder: " + file + "\n");

        const QString books = folder("blanks");
        run(TESSAROMANDEL_CLI, {"replace", books + "  ", "--find", "a", "--replace", "b"});
        QCOMPARE(m_exitCode, 3);
        QVERIFY2(m_stderr.contains("\"" + books + "  \" -> \"" + books + "\""),
                 qPrintable(m_stderr));
        QVERIFY(m_stderr.contains("without its leading or trailing blanks"));
    }

    void anEmptyFindStillSetsHeadersAndNames()
    {
        const QString books = folder("emptyfind");
        write(books + "/a.xlsx", book({"One"}));
        run(TESSAROMANDEL_CLI_FAKE, {"rename-sheets", books, "--find", "", "--replace", "X"});
        QCOMPARE(m_exitCode, 0);
        run(TESSAROMANDEL_CLI_FAKE,
            {"header", books, "--position", "left", "--find", "", "--replace", "H"});
        QCOMPARE(m_exitCode, 0);
    }

    void helpStatesTheMatchingRulesOfEachSubcommand()
    {
        run(TESSAROMANDEL_CLI, {"--help"});
        for (const char *words : {"case-insensitively", "? one", "* any run", "~ takes the next",
                                  "Pairs apply in order", "does not swap",
                                  "Case-sensitive and literal", "4  有报告未能写出"})
            QVERIFY2(m_stdout.contains(QString::fromUtf8(words)), words);
    }

    void aReportThatCannotBeWrittenIsNamedAndTheRunExitsFour()
    {
        const QString books = folder("blocked");
        write(books + "/a.xlsx", book({"S1|old"}));
        write(books + "/b.xlsx", book({"S1|other"}));
        // A folder, not empty, where the changed report would go: no one can write it there.
        const QString changed = books + "/包含内容并成功修改的文件目录.txt";
        QVERIFY(QDir().mkpath(changed));
        write(changed + "/keep", "x");
        run(TESSAROMANDEL_CLI_FAKE, {"replace", books, "--find", "old", "--replace", "new"});
        QCOMPARE(m_exitCode, 4);
        QCOMPARE(m_stderr, "报告未写出 Report not written: " + changed + "\n");
        const QStringList reported = m_stdout.split('\n').filter("报告 Report: ");
        QCOMPARE(reported,
                 QStringList({"报告 Report: " + books + "/不包含内容无修改的文件目录.txt"}));
    }

    void everyWorkbookIsOneReportLineWhateverItsName()
    {
        if (QTextCodec::codecForLocale()->name() != "UTF-8")
            QSKIP("the names below are chosen for a UTF-8 locale");
        const QString books = folder("names");
        const QStringList names = {"a\nb.xlsx", "c\rd.xlsx", "tab\there.xlsx",
                                   "x.xlsx Data\r\nforged entry.xlsx", "esc\x1b.xlsx"};
        for (const QString &name : names)
            write(books + "/" + name, book({"S1|old"}));
        write(books + "/plain.xlsx", book({"S1|other"}));
        // A Latin-1 name from an old archive: not valid UTF-8, so no decoded path reaches it.
        const QByteArray latin1 = QFile::encodeName(books) + "/caf\xe9.xlsx";
        const int descriptor = ::open(latin1.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(descriptor >= 0);
        ::close(descriptor);

        run(TESSAROMANDEL_CLI_FAKE, {"replace", books, "--find", "old", "--replace", "new"});
        QCOMPARE(m_exitCode, 0);
        // Split at CR LF only: a stray CR or LF left in a line would show in the comparisons.
        const auto lines = [&](const char *report) {
            QStringList read = QString::fromUtf8(this->read(books + "/" + report)).split("\r\n");
            if (read.last().isEmpty())
                read.removeLast();
            return read;
        };
        QStringList changed = lines("包含内容并成功修改的文件目录.txt");
        changed.sort();
        QCOMPARE(changed, QStringList({books + "/a\\nb.xlsx S1", books + "/c\\rd.xlsx S1",
                                       books + "/esc\\x1B.xlsx S1", books + "/tab\\there.xlsx S1",
                                       books + "/x.xlsx Data\\r\\nforged entry.xlsx S1"}));
        QCOMPARE(lines("不包含内容无修改的文件目录.txt"), QStringList({books + "/plain.xlsx"}));
        QCOMPARE(lines("无法打开修改的文件目录(文件格式有误).txt"),
                 QStringList({books + "/caf\\xE9.xlsx"}));
        // The progress lines are escaped as well: one line per workbook.
        QCOMPARE(m_stdout.split('\n').filter(".xlsx").size(), names.size() + 2);

        run(TESSAROMANDEL_CLI_FAKE,
            {"replace", books, "--find", "new", "--replace", "old", "--verbose"});
        // Qt cannot remove what it cannot name.
        ::unlink(latin1.constData());
        QVERIFY2(m_stdout.contains(books + "/caf\\xE9.xlsx: 文件名不是本地编码"),
                 qPrintable(m_stdout));
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
        // Last, how to take the run back.
        QVERIFY(lines.at(8).startsWith("可撤销 Undo: tessaromandel-cli undo "));
        QCOMPARE(lines.size(), 10);
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
        QCOMPARE(m_stderr, QString("注意：查找数和替换数不一致,请核对! The numbers of find and "
                                   "replace lines differ: 3 and 2\n"));
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

QTEST_GUILESS_MAIN(CliProcessTest)
#include "tst_cliprocess.moc"
