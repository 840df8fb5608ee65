#include "app/startup.h"
#include "app/widget.h"
#include "engine/collectfiles.h"
#include "engine/runarchive.h"
#include "engine/runsession.h"
#include "engine/undorun.h"
#include "platform/reportviewer.h"
#include "tests/app/modalanswerer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMutex>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>
#include <cstring>

namespace
{

const QString kUnopenable = QStringLiteral("无法打开修改的文件目录(文件格式有误).txt");
const QString kChanged = QStringLiteral("包含内容并成功修改的文件目录.txt");
const QString kUnchanged = QStringLiteral("不包含内容无修改的文件目录.txt");
const char *const kRunButtons[] = {"pBtn_ReplaceExcelText", "pBtn_ReplaceExcelText_2",
                                   "pBtn_PageHeaderFooter", "pBtn_PageFooter",
                                   "pBtn_ReplaceShtName"};

QMutex viewedMutex;
QStringList viewed;

// Stands in for the report viewer, which a test must never start.
void RecordReport(const char *path)
{
    QMutexLocker locker(&viewedMutex);
    viewed << QString::fromLocal8Bit(path);
}

QStringList Viewed()
{
    QMutexLocker locker(&viewedMutex);
    return viewed;
}

QString Helper()
{
    return qEnvironmentVariable("TESSAROMANDEL_SOURCE_DIR") + "/tests/workbooks.py";
}

QByteArray Read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QMap<QString, QByteArray> Fingerprints(const QString &root)
{
    QMap<QString, QByteArray> result;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.endsWith(".txt"))
            result[path] = QCryptographicHash::hash(Read(path), QCryptographicHash::Sha256);
    }
    return result;
}

void CopyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile::copy(source, target);
    }
}

// Sheets of a workbook as openpyxl reads them: name, column A, header and footer sections.
QJsonArray Dump(const QString &path)
{
    QProcess process;
    process.start("/usr/bin/python3", {Helper(), "dump", path});
    process.waitForFinished(30000);
    return QJsonDocument::fromJson(process.readAllStandardOutput()).array();
}

// Every stream of an .xls compound file by its path, with a digest of its bytes (olefile).
QJsonObject Streams(const QString &path)
{
    QProcess process;
    process.start("/usr/bin/python3", {Helper(), "streams", path});
    process.waitForFinished(30000);
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

QString CellA1(const QJsonArray &book, int sheet)
{
    return book.at(sheet).toArray().at(1).toArray().at(0).toString();
}

QStringList SheetNames(const QJsonArray &book)
{
    QStringList names;
    for (const QJsonValue &sheet : book)
        names << sheet.toArray().at(0).toString();
    return names;
}

} // namespace

// Every text the window's label is given, in order: each queued call the worker makes on the
// window is let through here and the label read right after it.
class LabelTexts : public QObject
{
public:
    explicit LabelTexts(QLabel *label) : m_label(label) {}
    QStringList m_texts;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::MetaCall)
            return false;
        watched->removeEventFilter(this);
        static_cast<QObject *>(watched)->event(event);
        watched->installEventFilter(this);
        if (m_texts.isEmpty() || m_texts.last() != m_label->text())
            m_texts << m_label->text();
        return true;
    }

private:
    QLabel *m_label;
};

// Each run started from its button of the real window, on its real worker thread, over real
// workbooks in a folder tree, read back by openpyxl.
class WidgetRunsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_template;
    QString m_books;
    int m_case = 0;
    Widget *m_window = nullptr;

    template <typename T> T *control(const char *name)
    {
        T *found = m_window->findChild<T *>(name);
        if (!found)
            qFatal("no control %s", name);
        return found;
    }

    QString native(const QString &relative) const
    {
        return QDir::toNativeSeparators(m_books + "/" + relative);
    }

    bool runButtonsEnabled(bool enabled)
    {
        for (const char *name : kRunButtons)
            if (control<QPushButton>(name)->isEnabled() != enabled)
                return false;
        return true;
    }

    // Clicks a run button and waits until the run has shown its reports.
    bool clickAndFinish(const char *button, int reports)
    {
        control<QPushButton>(button)->click();
        if (!runButtonsEnabled(false))
            return false;
        QElapsedTimer timer;
        timer.start();
        while (!(runButtonsEnabled(true) && Viewed().size() >= reports) && timer.elapsed() < 60000)
            QTest::qWait(20);
        QTest::qWait(50); // a report beyond the expected ones would show up now
        return runButtonsEnabled(true) && Viewed().size() == reports;
    }

    QString label() { return control<QLabel>("lb_ShowDisposingFile")->text(); }

private slots:
    void initTestCase()
    {
        SetReportViewer(&RecordReport);
        const QByteArray settings = QFile::encodeName(m_dir.filePath("Tessaromandel.vrn"));
        QVERIFY(static_cast<std::size_t>(settings.size()) < sizeof settingsFilePath);
        std::strcpy(settingsFilePath, settings.constData());

        m_template = m_dir.filePath("template");
        const QJsonObject books{
            {"Book.XLSX", QJsonArray{QJsonArray{"Sheet1", QJsonArray{"hello abc"}},
                                     QJsonArray{"Sheet2", QJsonArray{"none"}},
                                     QJsonArray{"Sheet3", QJsonArray{"abc abc"}}}},
            {"Sales.Xls", QJsonArray{QJsonArray{"S", QJsonArray{"no match"}}}},
            {"sub/deep/Plan.xlsm", QJsonArray{QJsonArray{"P", QJsonArray{"ABC upper"}}}},
            {"~$Book.xlsx", QJsonArray{QJsonArray{"S", QJsonArray{"abc"}}}},
            {"Data.xlsb", QJsonArray{QJsonArray{"S", QJsonArray{"abc"}}}},
            {"Old.xls.bak", QJsonArray{QJsonArray{"S", QJsonArray{"abc"}}}},
        };
        QProcess process;
        process.start("/usr/bin/python3",
                      {Helper(), "make-all", m_template,
                       QString::fromUtf8(QJsonDocument(books).toJson(QJsonDocument::Compact))});
        QVERIFY2(process.waitForFinished(60000) && process.exitCode() == 0,
                 "openpyxl for /usr/bin/python3 is needed");
        QFile broken(m_template + "/Broken.xlsx");
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("PK\3\4 truncated");
    }

    void init()
    {
        m_books = m_dir.filePath(QString("case%1").arg(++m_case));
        CopyTree(m_template, m_books);
        QFile::remove(QString::fromLocal8Bit(settingsFilePath));
        {
            QMutexLocker locker(&viewedMutex);
            viewed.clear();
        }
        m_window = new Widget;
        control<QLineEdit>("lEdt_SourcePath")->setText(m_books + "/");
    }

    void cleanup()
    {
        delete m_window;
        m_window = nullptr;
    }

    void replaceAllChangesWorkbooksAndWritesTheThreeReports()
    {
        control<QLineEdit>("lEdt_FindText")->setText("abc");
        control<QLineEdit>("lEdt_ReplaceExcelText")->setText("x");
        QVERIFY(clickAndFinish("pBtn_ReplaceExcelText", 3));

        const QJsonArray book = Dump(m_books + "/Book.XLSX");
        QCOMPARE(CellA1(book, 0), QString("hello x"));
        QCOMPARE(CellA1(book, 1), QString("none"));
        QCOMPARE(CellA1(book, 2), QString("x x"));
        QCOMPARE(CellA1(Dump(m_books + "/sub/deep/Plan.xlsm"), 0), QString("x upper"));
        QCOMPARE(CellA1(Dump(m_books + "/~$Book.xlsx"), 0), QString("abc"));

        QCOMPARE(Read(m_books + "/" + kUnopenable), (native("Broken.xlsx") + "\r\n").toLocal8Bit());
        QCOMPARE(Read(m_books + "/" + kChanged),
                 (native("Book.XLSX") + " Sheet1\r\n" + native("Book.XLSX") + " Sheet3\r\n" +
                  native("sub/deep/Plan.xlsm") + " P\r\n")
                     .toLocal8Bit());
        QCOMPARE(Read(m_books + "/" + kUnchanged), (native("Sales.Xls") + "\r\n").toLocal8Bit());
        QCOMPARE(Viewed(),
                 QStringList({native(kUnopenable), native(kChanged), native(kUnchanged)}));
        QVERIFY2(QRegularExpression("^查找3个Excel文件,包含查找内容有2个Excel文件,耗时\\d+秒。$")
                     .match(label())
                     .hasMatch(),
                 qPrintable(label()));
        QCOMPARE(Read(QString::fromLocal8Bit(settingsFilePath)),
                 ("sourcePath=" + m_books + "/\r\n").toLocal8Bit());
    }

    void aWindowRunKeepsUndoDataThatTakesItBack()
    {
        const QMap<QString, QByteArray> before = Fingerprints(m_books);
        control<QLineEdit>("lEdt_FindText")->setText("abc");
        control<QLineEdit>("lEdt_ReplaceExcelText")->setText("x");
        QVERIFY(clickAndFinish("pBtn_ReplaceExcelText", 3));

        // Other tests keep runs in the same data folder: this one is found by its folder.
        QString id;
        for (const QString &candidate : RunArchive::RunIds()) {
            RunArchive::Run run;
            QString why;
            if (RunArchive::Read(candidate, &run, &why) && QDir(run.sourceFolder) == QDir(m_books))
                id = candidate;
        }
        QVERIFY2(!id.isEmpty(), "the window's run kept no undo data");
        const UndoRun::Result undone = UndoRun::Execute(id);
        QCOMPARE(undone.status, UndoRun::Status::Done);
        QCOMPARE(undone.restored.size(), 2);
        QCOMPARE(Fingerprints(m_books), before);
    }

    void listOnlyLeavesEveryWorkbookByteForByte()
    {
        const QMap<QString, QByteArray> before = Fingerprints(m_books);
        control<QCheckBox>("cBox_JustShow")->setChecked(true);
        control<QLineEdit>("lEdt_FindText")->setText("abc");
        control<QLineEdit>("lEdt_ReplaceExcelText")->setText("x");
        QVERIFY(clickAndFinish("pBtn_ReplaceExcelText", 3));
        QCOMPARE(Fingerprints(m_books), before);
        QVERIFY(Read(m_books + "/" + kChanged)
                    .startsWith((native("Book.XLSX") + " Sheet1\r\n").toLocal8Bit()));
    }

    void severalPairsRunInOrderOnEachSheet()
    {
        control<QPlainTextEdit>("pTEdt_FindText")->setPlainText("abc\nhello x");
        control<QPlainTextEdit>("pTEdt_ReplaceExcelText")->setPlainText("x\ngreeting");
        QVERIFY(clickAndFinish("pBtn_ReplaceExcelText_2", 3));
        const QJsonArray book = Dump(m_books + "/Book.XLSX");
        QCOMPARE(CellA1(book, 0), QString("greeting"));
        QCOMPARE(CellA1(book, 2), QString("x x"));
        // One line per matched workbook, the path alone.
        QCOMPARE(
            Read(m_books + "/" + kChanged),
            (native("Book.XLSX") + "\r\n" + native("sub/deep/Plan.xlsm") + "\r\n").toLocal8Bit());
    }

    void unequalPairCountsOnlyShowTheNote()
    {
        QFile old(m_books + "/" + kChanged);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("from an earlier run\r\n");
        old.close();
        const QMap<QString, QByteArray> before = Fingerprints(m_books);
        control<QPlainTextEdit>("pTEdt_FindText")->setPlainText("a\nb\nc");
        control<QPlainTextEdit>("pTEdt_ReplaceExcelText")->setPlainText("x\ny");
        QString text;
        ModalAnswerer answerer([&](QWidget *modal) {
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                text = box->text();
            modal->close();
        });
        control<QPushButton>("pBtn_ReplaceExcelText_2")->click();
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.lastTitle(), QStringLiteral("注意："));
        QCOMPARE(text, QStringLiteral("查找数和替换数不一致,请核对!"));
        QVERIFY(runButtonsEnabled(true));
        QCOMPARE(Read(m_books + "/" + kChanged), QByteArray("from an earlier run\r\n"));
        QCOMPARE(Fingerprints(m_books), before);
        QVERIFY(!QFile::exists(QString::fromLocal8Bit(settingsFilePath)));
    }

    void headerAndFooterRunsSetTheChosenSection()
    {
        control<QLineEdit>("lEdt_PageHeader")->setText("Page A");
        QVERIFY(clickAndFinish("pBtn_PageHeaderFooter", 1));
        QVERIFY2(
            QRegularExpression("^查找修改3个Excel文件,耗时\\d+秒。$").match(label()).hasMatch(),
            qPrintable(label()));
        QCOMPARE(Read(m_books + "/" + kUnopenable), (native("Broken.xlsx") + "\r\n").toLocal8Bit());

        {
            QMutexLocker locker(&viewedMutex);
            viewed.clear();
        }
        control<QComboBox>("cmBox_PageFooter")->setCurrentIndex(2); // 右边
        control<QLineEdit>("lEdt_PageFooter")->setText("F &P");
        QVERIFY(clickAndFinish("pBtn_PageFooter", 1));

        const QJsonArray book = Dump(m_books + "/Book.XLSX");
        QCOMPARE(book.size(), 3);
        for (const QJsonValue &sheet : book) {
            QCOMPARE(sheet.toArray().at(2).toArray().at(1).toString(), QString("Page A"));
            QCOMPARE(sheet.toArray().at(3).toArray().at(2).toString(), QString("F &P"));
            QVERIFY(sheet.toArray().at(3).toArray().at(0).isNull());
        }
    }

    void renameRunsReplaceInNamesOrNameTheNthSheet()
    {
        control<QLineEdit>("lEdt_FindShtName")->setText("Sheet");
        control<QLineEdit>("lEdt_ReplaceShtName")->setText("Tab");
        QVERIFY(clickAndFinish("pBtn_ReplaceShtName", 1));
        QCOMPARE(SheetNames(Dump(m_books + "/Book.XLSX")), QStringList({"Tab1", "Tab2", "Tab3"}));

        {
            QMutexLocker locker(&viewedMutex);
            viewed.clear();
        }
        control<QCheckBox>("cBox_AppSheet")->setChecked(true);
        control<QSpinBox>("sBox_AppSheet")->setValue(2);
        control<QLineEdit>("lEdt_ReplaceShtName")->setText("汇总");
        QVERIFY(clickAndFinish("pBtn_ReplaceShtName", 1));
        QCOMPARE(SheetNames(Dump(m_books + "/Book.XLSX")),
                 QStringList({"Tab1", QStringLiteral("汇总"), "Tab3"}));
        QCOMPARE(SheetNames(Dump(m_books + "/sub/deep/Plan.xlsm")), QStringList({"P"}));
        QCOMPARE(Read(QString::fromLocal8Bit(settingsFilePath)), QByteArray("<missing>"));
    }

    // Each run of the window on a real .xls workbook (xlwt writes it, xlrd reads it back).
    void xlsWorkbooksTakeEveryRun()
    {
        const QString folder = m_dir.filePath(QString("xls%1").arg(m_case));
        const QJsonObject books{
            {"Book.xls", QJsonArray{QJsonArray{"S1", QJsonArray{"abc one", "keep"}},
                                    QJsonArray{"S2", QJsonArray{"abc"}}}}};
        QProcess process;
        process.start("/usr/bin/python3",
                      {Helper(), "make-all", folder,
                       QString::fromUtf8(QJsonDocument(books).toJson(QJsonDocument::Compact))});
        QVERIFY2(process.waitForFinished(60000) && process.exitCode() == 0,
                 "xlwt for /usr/bin/python3 is needed");
        const QString path = folder + "/Book.xls";
        control<QLineEdit>("lEdt_SourcePath")->setText(folder + "/");
        auto fresh = []() {
            QMutexLocker locker(&viewedMutex);
            viewed.clear();
        };

        const QMap<QString, QByteArray> before = Fingerprints(folder);
        control<QCheckBox>("cBox_JustShow")->setChecked(true);
        control<QLineEdit>("lEdt_FindText")->setText("abc");
        control<QLineEdit>("lEdt_ReplaceExcelText")->setText("x");
        QVERIFY(clickAndFinish("pBtn_ReplaceExcelText", 1));
        QCOMPARE(Fingerprints(folder), before);
        control<QCheckBox>("cBox_JustShow")->setChecked(false);
        fresh();
        QVERIFY(clickAndFinish("pBtn_ReplaceExcelText", 1));
        QJsonArray book = Dump(path);
        QCOMPARE(CellA1(book, 0), QString("x one"));
        QCOMPARE(CellA1(book, 1), QString("x"));

        fresh();
        control<QPlainTextEdit>("pTEdt_FindText")->setPlainText("x one\nkeep");
        control<QPlainTextEdit>("pTEdt_ReplaceExcelText")->setPlainText("y\nkept");
        QVERIFY(clickAndFinish("pBtn_ReplaceExcelText_2", 1));
        book = Dump(path);
        QCOMPARE(CellA1(book, 0), QString("y"));
        QCOMPARE(book.at(0).toArray().at(1).toArray().at(1).toString(), QString("kept"));

        fresh();
        control<QLineEdit>("lEdt_PageHeader")->setText("Page A");
        // Nothing to report: every workbook was changed.
        QVERIFY(clickAndFinish("pBtn_PageHeaderFooter", 0));
        fresh();
        control<QLineEdit>("lEdt_FindShtName")->setText("S");
        control<QLineEdit>("lEdt_ReplaceShtName")->setText("Tab");
        QVERIFY(clickAndFinish("pBtn_ReplaceShtName", 0));
        book = Dump(path);
        QCOMPARE(SheetNames(book), QStringList({"Tab1", "Tab2"}));
        for (const QJsonValue &sheet : book)
            QCOMPARE(sheet.toArray().at(2).toArray().at(1).toString(), QString("Page A"));
        QCOMPARE(CellA1(book, 1), QString("x"));
    }

    // A workbook Excel wrote, with macros, through each of the window's runs: the cells,
    // names and headers change, its macros and every other stream stay byte for byte.
    void corpusXlsWithMacrosTakesEveryRun()
    {
        const QString source =
            qEnvironmentVariable("TESSAROMANDEL_CORPUS_DIR") + "/poi/SimpleMacro.xls";
        if (!QFile::exists(source))
            QSKIP("the corpus is not there");
        const QString folder = m_dir.filePath(QString("macro%1").arg(m_case));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + "/Macro.xls";
        QVERIFY(QFile::copy(source, path));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        const QJsonObject streamsBefore = Streams(path);
        QVERIFY(streamsBefore.contains("_VBA_PROJECT_CUR/VBA/Module1"));
        control<QLineEdit>("lEdt_SourcePath")->setText(folder + "/");
        auto fresh = []() {
            QMutexLocker locker(&viewedMutex);
            viewed.clear();
        };

        control<QCheckBox>("cBox_JustShow")->setChecked(false);
        fresh();
        control<QLineEdit>("lEdt_FindText")->setText("macro");
        control<QLineEdit>("lEdt_ReplaceExcelText")->setText("Makro");
        QVERIFY(clickAndFinish("pBtn_ReplaceExcelText", 1));
        QCOMPARE(CellA1(Dump(path), 0), QString("This is a Makro workbook"));

        fresh();
        control<QPlainTextEdit>("pTEdt_FindText")->setPlainText("This\nworkbook");
        control<QPlainTextEdit>("pTEdt_ReplaceExcelText")->setPlainText("That\nbook");
        QVERIFY(clickAndFinish("pBtn_ReplaceExcelText_2", 1));
        QCOMPARE(CellA1(Dump(path), 0), QString("That is a Makro book"));

        fresh();
        control<QLineEdit>("lEdt_PageHeader")->setText("Page M");
        QVERIFY(clickAndFinish("pBtn_PageHeaderFooter", 0));
        fresh();
        control<QLineEdit>("lEdt_FindShtName")->setText("Sheet");
        control<QLineEdit>("lEdt_ReplaceShtName")->setText("Blatt");
        QVERIFY(clickAndFinish("pBtn_ReplaceShtName", 0));
        const QJsonArray book = Dump(path);
        QCOMPARE(SheetNames(book), QStringList({"Blatt1", "Blatt2", "Blatt3"}));
        for (const QJsonValue &sheet : book)
            QCOMPARE(sheet.toArray().at(2).toArray().at(1).toString(), QString("Page M"));

        // What a run may change: the workbook stream, and the summary's sheet titles.
        QJsonObject streamsAfter = Streams(path);
        QJsonObject kept = streamsBefore;
        for (const QString &changing :
             {QString("Workbook"), QChar(5) + QString("DocumentSummaryInformation")}) {
            QVERIFY(streamsAfter.contains(changing));
            kept.remove(changing);
            streamsAfter.remove(changing);
        }
        QCOMPARE(streamsAfter, kept);
    }

    void aMissingFolderOnlyShowsTheMessageAfterDeletingOldReports()
    {
        const QString missing = m_books + "/gone";
        for (const QString &name : {kUnopenable, kChanged, kUnchanged}) {
            QFile old(missing + name); // no separator: beside the folder, in m_books
            QVERIFY(old.open(QIODevice::WriteOnly));
        }
        control<QLineEdit>("lEdt_SourcePath")->setText(missing);
        control<QPushButton>("pBtn_ReplaceExcelText")->click();
        QCOMPARE(label(), QStringLiteral("文件夹不存在,请选择正确路径!"));
        QVERIFY(runButtonsEnabled(true));
        for (const QString &name : {kUnopenable, kChanged, kUnchanged})
            QVERIFY(!QFile::exists(missing + name));
        QVERIFY(!QFile::exists(QString::fromLocal8Bit(settingsFilePath)));
        QTest::qWait(100);
        QVERIFY(Viewed().isEmpty());
    }

    void aFolderWithoutSeparatorGetsItsReportsBesideIt()
    {
        control<QLineEdit>("lEdt_SourcePath")->setText(m_books + "/sub");
        control<QLineEdit>("lEdt_FindText")->setText("abc");
        QVERIFY(clickAndFinish("pBtn_ReplaceExcelText", 1));
        QCOMPARE(Read(m_books + "/sub" + kChanged),
                 (native("sub/deep/Plan.xlsm") + " P\r\n").toLocal8Bit());
        QVERIFY(!QFile::exists(m_books + "/sub/" + kChanged));
    }

    void theLabelShowsEveryWorkbookInFileOrder()
    {
        // Enough workbooks of different sizes that workers finish them out of order.
        for (int i = 0; i < 16; ++i)
            QVERIFY(QFile::copy(m_books + (i % 3 ? "/Sales.Xls" : "/Book.XLSX"),
                                m_books + QString("/sub/many%1.xlsx").arg(i, 2, 10, QChar('0'))));
        QStringList expected;
        for (const QFileInfo &entry : CollectFiles(m_books + "/")) {
            const QString path = QDir::toNativeSeparators(entry.filePath());
            if (RunSession::IsWorkbookPath(path))
                expected << path;
        }
        QCOMPARE(expected.size(), 20);
        LabelTexts texts(control<QLabel>("lb_ShowDisposingFile"));
        m_window->installEventFilter(&texts);
        control<QLineEdit>("lEdt_FindText")->setText("abc");
        control<QLineEdit>("lEdt_ReplaceExcelText")->setText("x");
        QVERIFY(clickAndFinish("pBtn_ReplaceExcelText", 3));
        m_window->removeEventFilter(&texts);
        QStringList shown = texts.m_texts;
        shown.erase(std::remove_if(shown.begin(), shown.end(),
                                   [&](const QString &text) { return !text.startsWith(m_books); }),
                    shown.end());
        QCOMPARE(shown, expected);
    }

    void twoRunsInARowEachShowTheirOwnFiles()
    {
        control<QLineEdit>("lEdt_FindText")->setText("none");
        control<QLineEdit>("lEdt_ReplaceExcelText")->setText("one");
        QVERIFY(clickAndFinish("pBtn_ReplaceExcelText", 3));
        QVERIFY(label().startsWith(QStringLiteral("查找3个Excel文件,包含查找内容有1个")));
        control<QLineEdit>("lEdt_SourcePath")->setText(m_books + "/sub/");
        control<QLineEdit>("lEdt_FindText")->setText("upper");
        {
            QMutexLocker locker(&viewedMutex);
            viewed.clear();
        }
        QVERIFY(clickAndFinish("pBtn_ReplaceExcelText", 1));
        QVERIFY(label().startsWith(QStringLiteral("查找1个Excel文件,包含查找内容有1个")));
        QCOMPARE(CellA1(Dump(m_books + "/Book.XLSX"), 1), QString("one"));
        QCOMPARE(CellA1(Dump(m_books + "/sub/deep/Plan.xlsm"), 0), QString("ABC one"));
    }
};

QTEST_MAIN(WidgetRunsTest)
#include "tst_widgetruns.moc"
