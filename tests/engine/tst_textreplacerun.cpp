#include "engine/textreplacerun.h"
#include "tests/engine/recordingobserver.h"
#include "tests/engine/runfixture.h"

#include <QtTest>

class TextReplaceRunTest : public QObject
{
    Q_OBJECT

private slots:
    void onlyWorkbookNamesOutsideLockFoldersAreOpened()
    {
        RunFixture f;
        for (const char *name : {"Book.XLSX", "Sales.Xls", "Plan.xlsm", "Data.xlsb", "List.csv",
                                 "Old.xls.bak", "~$Book.xlsx", "lock~$dir/In.xlsx", "sub/Deep.xls"})
            QVERIFY(f.book(name, {"S|x"}));
        f.parameters.findText = "nothing";
        RecordingObserver observer;
        TextReplaceRun::Execute(f.parameters, observer);

        QStringList opened = f.automation->Calls().filter(QRegularExpression("^Open "));
        QCOMPARE(
            opened,
            QStringList({"Open " + f.native("Book.XLSX"), "Open " + f.native("Plan.xlsm"),
                         "Open " + f.native("Sales.Xls"), "Open " + f.native("sub/Deep.xls")}));
        QCOMPARE(observer.Events().first(), QString("counted 4"));
    }

    void searchesEachSheetBeforeReplacingAndSavesOnceAfterAllSheets()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"One|plain", "Two|has abc", "Three|abc again"}));
        f.parameters.findText = "abc";
        f.parameters.replaceText = "xyz";
        RecordingObserver observer;
        TextReplaceRun::Execute(f.parameters, observer);

        QCOMPARE(f.automation->Calls().mid(0, 4),
                 QStringList({"Start", "SetVisible false", "SetDisplayAlerts false", "Workbooks"}));
        QCOMPARE(f.automation->Calls().mid(f.automation->Calls().size() - 2),
                 QStringList({"Quit", "Destroyed"}));
        QCOMPARE(f.bookCalls(),
                 QStringList({"Open " + f.native("a.xlsx"), "Sheets", "Count", "Item 1",
                              "UsedRange One", "Find One abc", "Replace One abc xyz", "Item 2",
                              "UsedRange Two", "Find Two abc", "Name Two", "Replace Two abc xyz",
                              "Item 3", "UsedRange Three", "Find Three abc", "Name Three",
                              "Replace Three abc xyz", "Save", "Close false"}));
        QVERIFY(f.read(f.path("a.xlsx")).contains("cell has xyz\n"));
        // Two sheets with a hit: two lines, but one workbook in the count.
        QCOMPARE(f.read(f.parameters.changedReportPath),
                 (f.native("a.xlsx") + " Two\r\n" + f.native("a.xlsx") + " Three\r\n").toUtf8());
        QCOMPARE(observer.Events()
                     .filter("message 查找1个Excel文件,包含查找内容有1个Excel文件,耗时")
                     .size(),
                 1);
    }

    void listOnlySearchesButNeverReplacesOrSaves()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"One|abc"}));
        QVERIFY(f.book("b.xlsx", {"One|none"}));
        const QByteArray before = f.read(f.path("a.xlsx"));
        f.parameters.findText = "abc";
        f.parameters.replaceText = "xyz";
        f.parameters.justShow = true;
        RecordingObserver observer;
        TextReplaceRun::Execute(f.parameters, observer);

        QVERIFY(f.bookCalls().filter(QRegularExpression("^(Replace|Save)")).isEmpty());
        QCOMPARE(f.read(f.path("a.xlsx")), before);
        QCOMPARE(f.read(f.parameters.changedReportPath),
                 (f.native("a.xlsx") + " One\r\n").toUtf8());
        QCOMPARE(f.read(f.parameters.unchangedReportPath), (f.native("b.xlsx") + "\r\n").toUtf8());
    }

    void workbookWithoutHitIsListedUnchangedAndNotSaved()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"One|abc"}));
        f.parameters.findText = "zzz";
        RecordingObserver observer;
        TextReplaceRun::Execute(f.parameters, observer);

        QVERIFY(!f.bookCalls().contains("Save"));
        QVERIFY(f.bookCalls().contains("Close false"));
        QCOMPARE(f.read(f.parameters.unchangedReportPath), (f.native("a.xlsx") + "\r\n").toUtf8());
        QVERIFY(!QFile::exists(f.parameters.changedReportPath));
    }

    void sheetsWithoutUsedRangeAreSkippedAndEmptyWorkbooksUnchanged()
    {
        RunFixture f;
        QVERIFY(f.book("chart.xlsx", {"Chart|!nousedrange", "Data|abc"}));
        QVERIFY(f.book("empty.xlsx", {}));
        f.parameters.findText = "abc";
        RecordingObserver observer;
        TextReplaceRun::Execute(f.parameters, observer);

        const QStringList calls = f.bookCalls();
        QVERIFY(!calls.contains("Find Chart abc"));
        QVERIFY(calls.contains("Find Data abc"));
        QCOMPARE(f.read(f.parameters.changedReportPath),
                 (f.native("chart.xlsx") + " Data\r\n").toUtf8());
        QCOMPARE(f.read(f.parameters.unchangedReportPath),
                 (f.native("empty.xlsx") + "\r\n").toUtf8());
    }

    void unopenableAndUnsavableWorkbooksAreNotReportedAsChanged()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"One|abc"}));
        QVERIFY(f.book("b.xlsx", {"One|abc"}, {"refusesave"}));
        QFile broken(f.path("c.xlsx"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("not a workbook");
        broken.close();
        QVERIFY(f.book("d.xlsx", {"One|abc"}));
        f.parameters.findText = "abc";
        f.parameters.replaceText = "x";
        RecordingObserver observer;
        TextReplaceRun::Execute(f.parameters, observer);

        QCOMPARE(f.read(f.parameters.unopenableReportPath),
                 (f.native("b.xlsx") + "\r\n" + f.native("c.xlsx") + "\r\n").toUtf8());
        QCOMPARE(f.read(f.parameters.changedReportPath),
                 (f.native("a.xlsx") + " One\r\n" + f.native("d.xlsx") + " One\r\n").toUtf8());
        const QStringList events = observer.Events();
        // Why each was refused is kept for a log.
        QCOMPARE(events.filter("refused "),
                 QStringList(
                     {"refused " + f.native("b.xlsx") + ": saving refused by the workbook",
                      "refused " + f.native("c.xlsx") + ": expected FAKEBOOK as the first line"}));
        QVERIFY(events.filter("查找3个Excel文件,包含查找内容有2个Excel文件").size() == 1);
    }

    void missingServerEndsTheRunWithAMessage_data()
    {
        QTest::addColumn<bool>("startFails");
        QTest::newRow("no application") << true;
        QTest::newRow("no workbooks") << false;
    }

    void missingServerEndsTheRunWithAMessage()
    {
        QFETCH(bool, startFails);
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"One|abc"}));
        f.automation->m_startFails = startFails;
        f.automation->m_noWorkbooks = !startFails;
        f.parameters.findText = "abc";
        RecordingObserver observer;
        TextReplaceRun::Execute(f.parameters, observer);

        QCOMPARE(
            observer.Events(),
            QStringList({"counted 1", "message 无法启动Excel服务,未处理任何文件。", "release"}));
        QVERIFY(f.automation->Calls().filter(QRegularExpression("^Open")).isEmpty());
        QVERIFY(!QFile::exists(f.parameters.unopenableReportPath));
    }

    void emptyFolderStartsAndQuitsTheServerAndReportsZero()
    {
        RunFixture f;
        RecordingObserver observer;
        TextReplaceRun::Execute(f.parameters, observer);

        QCOMPARE(f.automation->Calls(),
                 QStringList({"Start", "SetVisible false", "SetDisplayAlerts false", "Workbooks",
                              "Quit", "Destroyed"}));
        QCOMPARE(observer.Events().size(), 3);
        QCOMPARE(observer.Events().at(0), QString("counted 0"));
        QVERIFY(QRegularExpression("^message 查找修改0个Excel文件,耗时\\d+秒。$")
                    .match(observer.Events().at(1))
                    .hasMatch());
        QCOMPARE(observer.Events().at(2), QString("release"));
        QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files), QStringList());
    }

    void sheetThatCannotBeReadLeavesItsWorkbookUnsavedAndListedAsUnopenable_data()
    {
        QTest::addColumn<bool>("justShow");
        QTest::newRow("replace") << false;
        QTest::newRow("list only") << true;
    }

    void sheetThatCannotBeReadLeavesItsWorkbookUnsavedAndListedAsUnopenable()
    {
        QFETCH(bool, justShow);
        RunFixture f;
        // The hit on the first sheet must not count: the second could not be searched.
        QVERIFY(f.book("a.xlsx", {"One|abc", "Two|xyz|!unreadable", "Three|abc"}));
        QVERIFY(f.book("b.xlsx", {"One|abc"}));
        QVERIFY(f.book("c.xlsx", {"One|nothing"}));
        const QByteArray before = f.read(f.path("a.xlsx"));
        f.parameters.findText = "abc";
        f.parameters.replaceText = "x";
        f.parameters.justShow = justShow;
        RecordingObserver observer;
        TextReplaceRun::Execute(f.parameters, observer);

        QCOMPARE(f.read(f.path("a.xlsx")), before);
        QCOMPARE(f.read(f.parameters.unopenableReportPath), (f.native("a.xlsx") + "\r\n").toUtf8());
        QCOMPARE(f.read(f.parameters.changedReportPath),
                 (f.native("b.xlsx") + " One\r\n").toUtf8());
        QCOMPARE(f.read(f.parameters.unchangedReportPath), (f.native("c.xlsx") + "\r\n").toUtf8());
        const QStringList calls = f.bookCalls();
        QVERIFY(!calls.contains("UsedRange Three")); // nothing more is asked of that workbook
        QCOMPARE(calls.filter("Save").size(), justShow ? 0 : 1);
        const QStringList events = observer.Events();
        QCOMPARE(events.filter("refused "),
                 QStringList({"refused " + f.native("a.xlsx") +
                              ": sheet 'Two': damaged: sheet cells: malformed"}));
        QCOMPARE(events.filter("查找2个Excel文件,包含查找内容有1个Excel文件").size(), 1);
    }
};

QTEST_GUILESS_MAIN(TextReplaceRunTest)
#include "tst_textreplacerun.moc"
