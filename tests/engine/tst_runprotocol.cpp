#include "engine/platformbridge.h"
#include "engine/runlauncher.h"
#include "engine/runreports.h"
#include "tests/engine/fakeautomation.h"

#include <QDir>
#include <QPointer>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>

// Launches the way the main window does, with the window's members, trigger signals and slots.
class LaunchingWindow : public QObject
{
    Q_OBJECT

public:
    QThread *workerThread = nullptr;
    ThreadObject *worker = nullptr;
    QString label;
    QStringList labelHistory;
    bool buttonsEnabled = true;

    ~LaunchingWindow() override
    {
        if (workerThread) {
            workerThread->quit();
            workerThread->wait();
        }
        delete worker;
        delete workerThread;
    }

    void launchTextRun(const QString &folder, const QString &find, const QString &replace)
    {
        RunParameters parameters = RunParameters::Snapshot();
        parameters.justShow = false;
        parameters.sourceFolder = folder;
        parameters.findText = find;
        parameters.replaceText = replace;
        if (!RunLauncher::PrepareRun(parameters)) {
            label = QString::fromUtf8(RunLauncher::kFolderMissingMessage);
            return;
        }
        label.clear();
        buttonsEnabled = false;
        RunLauncher::ReplaceWorker(
            workerThread, worker, this, &LaunchingWindow::pBtn_ReplaceExcelText_HasClicked,
            &ThreadObject::ReplaceExcelText, &LaunchingWindow::on_ShowDisposingFile,
            &LaunchingWindow::on_Set_pBtn_Enable);
    }

    void launchRenameRun(const QString &folder, const QString &find, const QString &replace)
    {
        RunParameters parameters = RunParameters::Snapshot();
        parameters.sourceFolder = folder;
        parameters.shtNameFind = find;
        parameters.shtNameReplace = replace;
        parameters.appSheetOn = false;
        QVERIFY(RunLauncher::PrepareRun(parameters));
        buttonsEnabled = false;
        RunLauncher::ReplaceWorker(
            workerThread, worker, this, &LaunchingWindow::pBtn_ReplaceShtName_HasClicked,
            &ThreadObject::ReplaceShtName, &LaunchingWindow::on_ShowDisposingFile,
            &LaunchingWindow::on_Set_pBtn_Enable);
    }

signals:
    void pBtn_ReplaceExcelText_HasClicked();
    void pBtn_ReplaceShtName_HasClicked();

public slots:
    void on_ShowDisposingFile(QString text)
    {
        label = text;
        labelHistory << text;
    }
    void on_Set_pBtn_Enable() { buttonsEnabled = true; }
};

class RunProtocolTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::shared_ptr<FakeAutomation> m_automation;
    static QStringList s_shown;
    static QMutex s_shownMutex;
    static QSemaphore s_entered;
    static QSemaphore s_release;
    static std::atomic<bool> s_firstReturned;
    static std::atomic<int> s_calls;

    static void recordViewer(const char *path)
    {
        QMutexLocker locker(&s_shownMutex);
        s_shown << QString::fromLocal8Bit(path);
    }

    // Holds the first run in its closing sequence until the test lets it go.
    static void blockingViewer(const char *)
    {
        if (s_calls++ == 0) {
            s_entered.release();
            s_release.acquire();
            s_firstReturned = true;
        }
    }

    static int shownCount()
    {
        QMutexLocker locker(&s_shownMutex);
        return s_shown.size();
    }

    QString folder(const QString &name)
    {
        const QString path = m_dir.path() + "/" + name;
        QDir().mkpath(path);
        return path;
    }

private slots:
    void init()
    {
        m_automation = std::make_shared<FakeAutomation>();
        ExcelAutomation::SetCurrent(m_automation);
        QMutexLocker locker(&s_shownMutex);
        s_shown.clear();
        PlatformBridge::SetReportViewer(&recordViewer);
    }

    void cleanup()
    {
        PlatformBridge::SetReportViewer(nullptr);
        ExcelAutomation::SetCurrent(nullptr);
    }

    void runEndsOnItsWorkerThreadWithTheLabelOnTheSummary()
    {
        const QString books = folder("one");
        QVERIFY(FakeAutomation::WriteBook(books + "/a.xlsx", {"S|abc"}));
        QVERIFY(FakeAutomation::WriteBook(books + "/b.xlsx", {"S|none"}));
        LaunchingWindow window;
        window.launchTextRun(books + "/", "abc", "x");
        QVERIFY(!window.buttonsEnabled);
        QTRY_VERIFY(window.buttonsEnabled);
        QTRY_COMPARE(shownCount(), 2);

        QCOMPARE(window.labelHistory.mid(0, 2),
                 QStringList({QDir::toNativeSeparators(books + "/a.xlsx"),
                              QDir::toNativeSeparators(books + "/b.xlsx")}));
        QVERIFY(window.label.startsWith("查找2个Excel文件,包含查找内容有1个Excel文件,耗时"));
        QVERIFY(window.worker->thread() == window.workerThread);
        QVERIFY(window.workerThread->isRunning());
        QCOMPARE(s_shown, QStringList({books + "/包含内容并成功修改的文件目录.txt",
                                       books + "/不包含内容无修改的文件目录.txt"}));
    }

    void secondRunReplacesTheFirstWorkerAndThread()
    {
        const QString first = folder("first");
        const QString second = folder("second");
        QVERIFY(FakeAutomation::WriteBook(first + "/a.xlsx", {"S|abc"}));
        QVERIFY(FakeAutomation::WriteBook(second + "/b.xlsx", {"S|abc"}));
        LaunchingWindow window;
        window.launchTextRun(first + "/", "abc", "x");
        QTRY_VERIFY(window.buttonsEnabled);
        QPointer<QThread> firstThread = window.workerThread;
        QPointer<ThreadObject> firstWorker = window.worker;

        window.launchTextRun(second + "/", "abc", "x");
        QVERIFY(firstThread.isNull());
        QVERIFY(firstWorker.isNull());
        QTRY_VERIFY(window.buttonsEnabled);
        QTRY_VERIFY(window.label.startsWith("查找1个Excel文件,包含查找内容有1个Excel文件"));
        QVERIFY(window.labelHistory.contains(QDir::toNativeSeparators(second + "/b.xlsx")));
        QTRY_COMPARE(shownCount(), 2);
    }

    void launchWhileTheLastRunStillWritesReportsWaitsForIt()
    {
        const QString books = folder("busy");
        QVERIFY(FakeAutomation::WriteBook(books + "/a.xlsx", {"S|abc"}));
        QVERIFY(FakeAutomation::WriteBook(books + "/b.xlsx", {"S|x"}));
        const QString unchanged = books + "/" + QString::fromUtf8(RunReports::kUnchangedFileName);
        PlatformBridge::SetReportViewer(&blockingViewer);

        LaunchingWindow window;
        window.launchTextRun(books + "/", "abc", "x");
        QTRY_VERIFY(window.buttonsEnabled);
        // The buttons are back while the first slot still sits in its closing sequence, with
        // the unchanged report still to write.
        QVERIFY(s_entered.tryAcquire(1, 5000));
        QVERIFY(!QFile::exists(unchanged));
        std::thread releaser([&] {
            QThread::msleep(100);
            s_release.release();
        });
        window.launchTextRun(books + "/", "x", "y");
        QVERIFY(s_firstReturned);
        releaser.join();
        QTRY_VERIFY(window.buttonsEnabled);
        QTRY_COMPARE(s_calls.load(), 3);
        QTRY_VERIFY(window.label.startsWith("查找2个Excel文件,包含查找内容有2个Excel文件"));
        // Both workbooks matched the second run: the first run's late report must not stay.
        QVERIFY(!QFile::exists(unchanged));
    }

    void missingFolderOnlyShowsTheMessageAfterDeletingOldReports()
    {
        const QString missing = m_dir.path() + "/missing";
        for (const char *name : {RunReports::kUnopenableFileName, RunReports::kChangedFileName}) {
            QFile stale(missing + QString::fromUtf8(name));
            QVERIFY(stale.open(QIODevice::WriteOnly));
        }
        LaunchingWindow window;
        window.launchTextRun(missing, "abc", "x");

        QCOMPARE(window.label, QString("文件夹不存在,请选择正确路径!"));
        QVERIFY(window.buttonsEnabled);
        QVERIFY(!window.workerThread);
        QVERIFY(QDir(m_dir.path()).entryList({"missing*"}).isEmpty());
        QVERIFY(m_automation->Calls().isEmpty());
    }

    void folderWithoutTrailingSeparatorGetsItsReportsBesideIt()
    {
        const QString books = folder("books");
        QVERIFY(FakeAutomation::WriteBook(books + "/a.xlsx", {"S|abc"}));
        LaunchingWindow window;
        window.launchTextRun(books, "abc", "x");
        QTRY_VERIFY(window.buttonsEnabled);
        QTRY_COMPARE(shownCount(), 1);

        QCOMPARE(s_shown.first(), books + "包含内容并成功修改的文件目录.txt");
        QVERIFY(QFile::exists(books + "包含内容并成功修改的文件目录.txt"));
        QCOMPARE(QDir(books).entryList(QDir::Files), QStringList({"a.xlsx"}));
    }

    void aCheckBoxChangeDuringARunIsNotSeenByIt()
    {
        const QString books = folder("rename");
        QVERIFY(FakeAutomation::WriteBook(books + "/a.xlsx", {"Sheet1", "Sheet2"}));
        m_automation->m_onStart = [] { RunParameters::SetAppSheetOn(true); };
        LaunchingWindow window;
        window.launchRenameRun(books + "/", "Sheet", "Tab");
        QTRY_VERIFY(window.buttonsEnabled);

        QCOMPARE(m_automation->Calls().filter("SetName"),
                 QStringList({"SetName Sheet1=Tab1", "SetName Sheet2=Tab2"}));
        QVERIFY(RunParameters::Snapshot().appSheetOn);
    }
};

QStringList RunProtocolTest::s_shown;
QMutex RunProtocolTest::s_shownMutex;
QSemaphore RunProtocolTest::s_entered;
QSemaphore RunProtocolTest::s_release;
std::atomic<bool> RunProtocolTest::s_firstReturned{false};
std::atomic<int> RunProtocolTest::s_calls{0};

QTEST_GUILESS_MAIN(RunProtocolTest)
#include "tst_runprotocol.moc"
