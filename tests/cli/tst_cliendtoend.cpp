#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// tessaromandel-cli on real workbooks served by the native server; openpyxl writes the
// workbooks and reads them back independently.
class CliEndToEndTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_books;

    static QString helper()
    {
        return qEnvironmentVariable("TESSAROMANDEL_SOURCE_DIR") + "/tests/workbooks.py";
    }

    static QByteArray python(const QStringList &arguments)
    {
        QProcess process;
        process.start("/usr/bin/python3", QStringList{helper()} + arguments);
        if (!process.waitForFinished(30000) || process.exitCode() != 0)
            return QByteArray();
        return process.readAllStandardOutput();
    }

    static bool make(const QString &path, const QByteArray &sheets)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QProcess process;
        process.start("/usr/bin/python3", {helper(), "make", path, QString::fromUtf8(sheets)});
        return process.waitForFinished(30000) && process.exitCode() == 0;
    }

    static QJsonArray dump(const QString &path)
    {
        return QJsonDocument::fromJson(python({"dump", path})).array();
    }

    static int cli(const QStringList &arguments)
    {
        QProcess process;
        process.start(TESSAROMANDEL_CLI, arguments);
        if (!process.waitForFinished(30000))
            return -1;
        return process.exitCode();
    }

    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    static QMap<QString, QByteArray> fingerprints(const QString &root)
    {
        QMap<QString, QByteArray> result;
        QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            result[path] = QCryptographicHash::hash(read(path), QCryptographicHash::Sha256);
        }
        return result;
    }

    QString native(const QString &relative) const
    {
        return QDir::toNativeSeparators(m_books + "/" + relative);
    }

private slots:
    void initTestCase()
    {
        m_books = m_dir.path() + "/books";
        QVERIFY2(make(m_books + "/Book.XLSX", R"([["Sheet1",["hello abc"]],["Sheet2",["none"]],)"
                                              R"(["Sheet3",["abc abc"]]])"),
                 "openpyxl for /usr/bin/python3 is needed");
        QVERIFY(make(m_books + "/Sales.Xls", R"([["S",["no match"]]])"));
        QVERIFY(make(m_books + "/sub/deep/Plan.xlsm", R"([["P",["ABC upper"]]])"));
        QVERIFY(make(m_books + "/.hidden/Secret.xlsx", R"([["S",["abc"]]])"));
        QVERIFY(make(m_books + "/~$Book.xlsx", R"([["S",["abc"]]])"));
        QVERIFY(make(m_books + "/Data.xlsb", R"([["S",["abc"]]])"));
        QVERIFY(make(m_books + "/Old.xls.bak", R"([["S",["abc"]]])"));
        QFile broken(m_books + "/Broken.xlsx");
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("PK\3\4 truncated");
    }

    void listOnlyLeavesEveryFileByteForByte()
    {
        const QMap<QString, QByteArray> before = fingerprints(m_books);
        QCOMPARE(cli({"replace", m_books, "--find", "abc", "--replace", "x", "--list-only"}), 0);
        QMap<QString, QByteArray> after = fingerprints(m_books);
        for (const QString &path : after.keys())
            if (path.endsWith(".txt"))
                after.remove(path);
        QCOMPARE(after, before);
        QCOMPARE(read(m_books + "/包含内容并成功修改的文件目录.txt"),
                 (native("Book.XLSX") + " Sheet1\r\n" + native("Book.XLSX") + " Sheet3\r\n" +
                  native("sub/deep/Plan.xlsm") + " P\r\n")
                     .toUtf8());
    }

    void replaceChangesOnlyWorkbooksAndWritesTheThreeReports()
    {
        const QByteArray hidden = read(m_books + "/.hidden/Secret.xlsx");
        const QByteArray binary = read(m_books + "/Data.xlsb");
        QCOMPARE(cli({"replace", m_books + "/", "--find", "abc", "--replace", "x"}), 0);

        QCOMPARE(read(m_books + "/无法打开修改的文件目录(文件格式有误).txt"),
                 (native("Broken.xlsx") + "\r\n").toUtf8());
        QCOMPARE(read(m_books + "/不包含内容无修改的文件目录.txt"),
                 (native("Sales.Xls") + "\r\n").toUtf8());
        const QJsonArray book = dump(m_books + "/Book.XLSX");
        QCOMPARE(book.at(0).toArray().at(1).toArray().at(0).toString(), QString("hello x"));
        QCOMPARE(book.at(2).toArray().at(1).toArray().at(0).toString(), QString("x x"));
        // Letter case is ignored, as in Excel.
        QCOMPARE(dump(m_books + "/sub/deep/Plan.xlsm").at(0).toArray().at(1).toArray().at(0),
                 QJsonValue("x upper"));
        QCOMPARE(read(m_books + "/.hidden/Secret.xlsx"), hidden);
        QCOMPARE(read(m_books + "/Data.xlsb"), binary);
    }

    void headerAndRenameRunsEditEverySheet()
    {
        QCOMPARE(cli({"header", m_books, "--position", "center", "--replace", "Page A"}), 0);
        QCOMPARE(cli({"rename-sheets", m_books, "--find", "Sheet", "--replace", "Tab"}), 0);
        QCOMPARE(cli({"rename-sheets", m_books, "--replace", "Summary", "--nth", "2"}), 0);
        const QJsonArray book = dump(m_books + "/Book.XLSX");
        QStringList names;
        for (const QJsonValue &sheet : book) {
            names << sheet.toArray().at(0).toString();
            QCOMPARE(sheet.toArray().at(2).toArray().at(1).toString(), QString("Page A"));
        }
        QCOMPARE(names, QStringList({"Tab1", "Summary", "Tab3"}));
        QCOMPARE(read(m_books + "/无法打开修改的文件目录(文件格式有误).txt"),
                 (native("Broken.xlsx") + "\r\n").toUtf8());
    }

    void workbookWithAnUnreadableSheetIsLeftAloneAndReportedAsUnopenable()
    {
        const QString folder = m_dir.path() + "/damaged";
        QVERIFY(make(folder + "/Good.xlsx", R"([["One",["abc"]]])"));
        QVERIFY(make(folder + "/Bad.xlsx", R"([["One",["abc"]],["Two",["abc"]]])"));
        // The second sheet's cells are malformed: the workbook still opens.
        QProcess damage;
        damage.start("/usr/bin/python3",
                     {"-c",
                      "import sys, zipfile\n"
                      "src = sys.argv[1]\n"
                      "parts = {}\n"
                      "with zipfile.ZipFile(src) as z:\n"
                      "    for n in z.namelist(): parts[n] = z.read(n)\n"
                      "s = 'xl/worksheets/sheet2.xml'\n"
                      "parts[s] = parts[s].replace(b'<sheetData>', b'<sheetData><x></y>')\n"
                      "with zipfile.ZipFile(src, 'w', zipfile.ZIP_DEFLATED) as z:\n"
                      "    for n, b in parts.items(): z.writestr(n, b)\n",
                      folder + "/Bad.xlsx"});
        QVERIFY(damage.waitForFinished(30000) && damage.exitCode() == 0);
        const QByteArray before = read(folder + "/Bad.xlsx");

        for (const bool listOnly : {true, false}) {
            QStringList arguments = {"replace",   folder + "/", "--find",   "abc",
                                     "--replace", "x",          "--verbose"};
            if (listOnly)
                arguments << "--list-only";
            QProcess process;
            process.start(TESSAROMANDEL_CLI, arguments);
            QVERIFY(process.waitForFinished(30000));
            QCOMPARE(process.exitCode(), 0);
            const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
            QVERIFY2(out.contains(QDir::toNativeSeparators(folder + "/Bad.xlsx") +
                                  ": sheet 'Two': damaged: "),
                     qPrintable(out));

            QCOMPARE(read(folder + "/Bad.xlsx"), before);
            QCOMPARE(read(folder + "/无法打开修改的文件目录(文件格式有误).txt"),
                     (QDir::toNativeSeparators(folder + "/Bad.xlsx") + "\r\n").toUtf8());
            QCOMPARE(read(folder + "/包含内容并成功修改的文件目录.txt"),
                     (QDir::toNativeSeparators(folder + "/Good.xlsx") + " One\r\n").toUtf8());
            QCOMPARE(read(folder + "/不包含内容无修改的文件目录.txt"), QByteArray("<missing>"));
        }
    }

    // .xls workbooks change as .xlsx ones do: the hit is replaced and listed, the miss left
    // byte for byte; header and rename runs change every workbook.
    void xlsWorkbooksAreChanged()
    {
        const QString folder = m_dir.path() + "/xls";
        QDir().mkpath(folder);
        QProcess writer;
        writer.start("/usr/bin/python3",
                     {"-c",
                      "import sys, xlwt\n"
                      "for name, text in (('Hit.xls', 'say abc'), ('Clean.xls', 'nothing')):\n"
                      "    wb = xlwt.Workbook()\n"
                      "    ws = wb.add_sheet('One')\n"
                      "    ws.write(0, 0, text)\n"
                      "    ws.write(1, 0, xlwt.Formula('SUM(A3:A4)'))\n"
                      "    wb.save(sys.argv[1] + '/' + name)\n",
                      folder});
        QVERIFY(writer.waitForFinished(30000));
        if (writer.exitCode() != 0)
            QSKIP("python3-xlwt is not installed");
        const QMap<QString, QByteArray> before = fingerprints(folder);
        const QString hit = QDir::toNativeSeparators(folder + "/Hit.xls");
        const QString clean = QDir::toNativeSeparators(folder + "/Clean.xls");
        auto report = [&](const QString &name) { return read(folder + "/" + name); };
        auto clearReports = [&]() {
            for (const QString &f : QDir(folder).entryList({"*.txt"}, QDir::Files))
                QFile::remove(folder + "/" + f);
        };

        QCOMPARE(cli({"replace", folder, "--find", "abc", "--replace", "x", "--list-only"}), 0);
        QCOMPARE(report("包含内容并成功修改的文件目录.txt"), (hit + " One\r\n").toUtf8());
        QCOMPARE(report("不包含内容无修改的文件目录.txt"), (clean + "\r\n").toUtf8());
        clearReports();

        QCOMPARE(cli({"replace", folder, "--find", "abc", "--replace", "x"}), 0);
        QCOMPARE(report("包含内容并成功修改的文件目录.txt"), (hit + " One\r\n").toUtf8());
        QCOMPARE(report("不包含内容无修改的文件目录.txt"), (clean + "\r\n").toUtf8());
        QCOMPARE(report("无法打开修改的文件目录(文件格式有误).txt"), QByteArray("<missing>"));
        QMap<QString, QByteArray> now = fingerprints(folder);
        QVERIFY(now.value(folder + "/Hit.xls") != before.value(folder + "/Hit.xls"));
        QCOMPARE(now.value(folder + "/Clean.xls"), before.value(folder + "/Clean.xls"));
        clearReports();

        QCOMPARE(cli({"header", folder, "--position", "center", "--replace", "x"}), 0);
        QCOMPARE(report("无法打开修改的文件目录(文件格式有误).txt"), QByteArray("<missing>"));
        clearReports();
        QCOMPARE(cli({"rename-sheets", folder, "--find", "One", "--replace", "Two"}), 0);
        QCOMPARE(report("无法打开修改的文件目录(文件格式有误).txt"), QByteArray("<missing>"));
        clearReports();
        now = fingerprints(folder);
        QVERIFY(now.value(folder + "/Clean.xls") != before.value(folder + "/Clean.xls"));
        // The listing sees what the runs wrote.
        QCOMPARE(cli({"replace", folder, "--find", "say x", "--replace", "y", "--list-only"}), 0);
        QCOMPARE(report("包含内容并成功修改的文件目录.txt"), (hit + " Two\r\n").toUtf8());
    }

    // As in East Asian Excel, whose "match byte" option is off by default.
    void replaceIgnoresCharacterWidth()
    {
        const QString folder = m_dir.path() + "/width";
        QVERIFY(make(folder + "/Width.xlsx",
                     R"([["W",["２０２３年度","ｆｙ2023",2023,"甲\u3000乙","ﾃﾞｰﾀ"]]])"));
        QCOMPARE(cli({"replace", folder, "--find", "2023", "--replace", "2024"}), 0);
        QCOMPARE(cli({"replace", folder, "--find", "甲 乙", "--replace", "丙"}), 0);
        QCOMPARE(cli({"replace", folder, "--find", "テ", "--replace", "ト"}), 0);
        const QJsonArray cells = dump(folder + "/Width.xlsx").at(0).toArray().at(1).toArray();
        QCOMPARE(cells.at(0).toString(), QString("2024年度"));
        QCOMPARE(cells.at(1).toString(), QString("ｆｙ2024"));
        QCOMPARE(cells.at(2).toInt(), 2024);
        QCOMPARE(cells.at(3).toString(), QString("丙"));
        QCOMPARE(cells.at(4).toString(), QString("トﾞｰﾀ"));
    }

    // Nothing Excel would refuse to open or have to repair: a formula that is no longer one,
    // a reference to a sheet that does not exist. Such a cell leaves its workbook as it was,
    // listed with the ones that could not be changed; references that stay valid change.
    void replaceLeavesFormulasItWouldBreak()
    {
        const QString folder = m_dir.path() + "/formulas";
        const QJsonArray broken{
            QJsonArray{"数据 2023", QJsonArray{"x", "=\"合计\"&A1"}},
            QJsonArray{"S2", QJsonArray{"='数据 2023'!A1*2", "=SUM('数据 2023:S2'!A1)"}}};
        const QJsonArray sound{QJsonArray{"S", QJsonArray{"=B2023+1", "=\"2023\"&A1"}}};
        QVERIFY(make(folder + "/F.xlsx", QJsonDocument(broken).toJson()));
        QVERIFY(make(folder + "/G.xlsx", QJsonDocument(sound).toJson()));
        const QByteArray before = read(folder + "/F.xlsx");
        const QByteArray unopenable =
            (QDir::toNativeSeparators(folder + "/F.xlsx") + "\r\n").toUtf8();

        QCOMPARE(cli({"replace", folder, "--find", "\"", "--replace", "“"}), 0);
        QCOMPARE(read(folder + "/无法打开修改的文件目录(文件格式有误).txt"),
                 unopenable + (QDir::toNativeSeparators(folder + "/G.xlsx") + "\r\n").toUtf8());
        QCOMPARE(cli({"replace", folder, "--find", "2023", "--replace", "2024"}), 0);
        QCOMPARE(read(folder + "/无法打开修改的文件目录(文件格式有误).txt"), unopenable);
        QCOMPARE(read(folder + "/F.xlsx"), before);
        const QJsonArray g = dump(folder + "/G.xlsx").at(0).toArray().at(1).toArray();
        QCOMPARE(g.at(0).toString(), QString("=B2024+1"));
        QCOMPARE(g.at(1).toString(), QString("=\"2024\"&A1"));
    }

    void replaceThatChangesNothingWritesNothing()
    {
        const QString folder = m_dir.path() + "/same";
        const QJsonArray sheets{QJsonArray{"S", QJsonArray{"旧公司", "=\"旧公司\"&A1", 2023}}};
        QVERIFY(make(folder + "/Same.xlsx", QJsonDocument(sheets).toJson()));
        const QString path = folder + "/Same.xlsx";
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QDateTime past = QDateTime::currentDateTime().addDays(-3);
        QVERIFY(file.setFileTime(past, QFileDevice::FileModificationTime));
        file.close();
        const QByteArray before = read(path);
        QCOMPARE(cli({"replace", folder, "--find", "旧公司", "--replace", "旧公司"}), 0);
        QCOMPARE(cli({"replace", folder, "--find", "2023", "--replace", "2023"}), 0);
        QCOMPARE(read(path), before);
        QCOMPARE(QFileInfo(path).lastModified().toSecsSinceEpoch(), past.toSecsSinceEpoch());
    }

    void workbookOpenElsewhereIsNotChanged()
    {
        const QString folder = m_dir.path() + "/owned";
        QVERIFY(make(folder + "/Owned.xlsx", R"([["S",["旧公司"]]])"));
        QVERIFY(make(folder + "/Free.xlsx", R"([["S",["旧公司"]]])"));
        const QByteArray before = read(folder + "/Owned.xlsx");
        for (const char *owner : {"/~$Owned.xlsx", "/.~lock.Owned.xlsx#"}) {
            QFile lock(folder + owner);
            QVERIFY(lock.open(QIODevice::WriteOnly));
            lock.close();
            QCOMPARE(cli({"replace", folder, "--find", "旧公司", "--replace", "新公司"}), 0);
            QCOMPARE(read(folder + "/Owned.xlsx"), before);
            QCOMPARE(read(folder + "/无法打开修改的文件目录(文件格式有误).txt"),
                     (QDir::toNativeSeparators(folder + "/Owned.xlsx") + "\r\n").toUtf8());
            QVERIFY(QFile::remove(folder + owner));
            QCOMPARE(cli({"replace", folder, "--find", "新公司", "--replace", "旧公司"}), 0);
        }
        // A list-only run still reads it.
        QFile lock(folder + "/~$Owned.xlsx");
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.close();
        QCOMPARE(cli({"replace", folder, "--find", "旧公司", "--replace", "x", "--list-only"}), 0);
        QVERIFY(read(folder + "/包含内容并成功修改的文件目录.txt").contains("Owned.xlsx S"));
    }
};

QTEST_GUILESS_MAIN(CliEndToEndTest)
#include "tst_cliendtoend.moc"
