#include "engine/sheetrenamerun.h"
#include "tests/engine/recordingobserver.h"
#include "tests/engine/runfixture.h"

#include <QtTest>

class SheetRenameRunTest : public QObject
{
    Q_OBJECT

private:
    QStringList names(const QByteArray &book)
    {
        QStringList result;
        for (const QByteArray &line : book.split('\n'))
            if (line.startsWith("sheet "))
                result << QString::fromUtf8(line.mid(6));
        return result;
    }

private slots:
    void findAndReplaceRewritesEveryNameCaseSensitively_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("replace");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("Sheet to Tab") << QStringList({"Sheet1", "Sheet2", "Data"}) << "Sheet"
                                      << "Tab" << QStringList({"Tab1", "Tab2", "Data"});
        QTest::newRow("case") << QStringList({"Sheet1"}) << "sheet"
                              << "x" << QStringList({"Sheet1"});
        QTest::newRow("empty find") << QStringList({"ab"}) << ""
                                    << "X" << QStringList({"XaXbX"});
        QTest::newRow("both empty") << QStringList({"ab"}) << ""
                                    << "" << QStringList({"ab"});
        // The first new name would clash with the second; it stays, the third still changes.
        QTest::newRow("refused") << QStringList({"b1", "a1", "b2"}) << "b"
                                 << "a" << QStringList({"b1", "a1", "a2"});
    }

    void findAndReplaceRewritesEveryNameCaseSensitively()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, find);
        QFETCH(QString, replace);
        QFETCH(QStringList, after);
        RunFixture f;
        QVERIFY(f.book("a.xlsx", before));
        f.parameters.shtNameFind = find;
        f.parameters.shtNameReplace = replace;
        RecordingObserver observer;
        SheetRenameRun::Execute(f.parameters, observer);

        QCOMPARE(names(f.read(f.path("a.xlsx"))), after);
        QCOMPARE(f.bookCalls().filter("SetName").size(), before.size());
        QVERIFY(observer.Events().filter("message 查找修改1个Excel文件,耗时").size() == 1);
    }

    void nthSheetModeFetchesUpToTheNthAndRenamesOnlyIt()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"One", "Two", "Three"}));
        QVERIFY(f.book("b.xlsx", {"Only"}));
        f.parameters.appSheetOn = true;
        f.parameters.appSheetIndex = 2;
        f.parameters.shtNameFind = "ignored";
        f.parameters.shtNameReplace = "Summary";
        RecordingObserver observer;
        SheetRenameRun::Execute(f.parameters, observer);

        QCOMPARE(f.bookCalls(), QStringList({"Open " + f.native("a.xlsx"), "Sheets", "Count",
                                             "Item 1", "Item 2", "SetName Two=Summary", "Save",
                                             "Close false", "Open " + f.native("b.xlsx"), "Sheets",
                                             "Count", "Item 1", "Save", "Close false"}));
        QCOMPARE(names(f.read(f.path("a.xlsx"))), QStringList({"One", "Summary", "Three"}));
        QVERIFY(observer.Events().filter("message 查找修改2个Excel文件,耗时").size() == 1);
    }

    void refusedEmptyNameStillSavesAndCounts()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"One"}));
        f.parameters.appSheetOn = true;
        f.parameters.appSheetIndex = 1;
        RecordingObserver observer;
        SheetRenameRun::Execute(f.parameters, observer);

        QVERIFY(f.bookCalls().contains("SetName One="));
        QVERIFY(f.bookCalls().contains("Save"));
        QCOMPARE(names(f.read(f.path("a.xlsx"))), QStringList({"One"}));
        QVERIFY(observer.Events().filter("message 查找修改1个Excel文件,耗时").size() == 1);
    }

    void unsavableWorkbookIsListedAndNotCounted()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"One"}, {"refusesave"}));
        f.parameters.shtNameFind = "One";
        f.parameters.shtNameReplace = "Two";
        RecordingObserver observer;
        SheetRenameRun::Execute(f.parameters, observer);

        QCOMPARE(names(f.read(f.path("a.xlsx"))), QStringList({"One"}));
        QCOMPARE(f.read(f.parameters.unopenableReportPath), (f.native("a.xlsx") + "\r\n").toUtf8());
        QVERIFY(observer.Events().filter("message 查找修改0个Excel文件,耗时").size() == 1);
    }

    void refusedNameKeepsItsReasonAndUnreadableWorkbookIsLeftAlone()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"Sheet1", "Sheet1x"}));
        QVERIFY(f.book("b.xlsx", {"Sheet1", "Sheet2|!unreadable"}));
        const QByteArray before = f.read(f.path("b.xlsx"));
        f.parameters.shtNameFind = "Sheet1";
        f.parameters.shtNameReplace = "Sheet1x";
        RecordingObserver observer;
        SheetRenameRun::Execute(f.parameters, observer);

        // A name the rules refuse: the sheet keeps its name, the workbook is still saved.
        const QStringList events = observer.Events();
        QCOMPARE(events.filter("declined "), QStringList({"declined " + f.native("a.xlsx") +
                                                          " Sheet1: rejected: name 'Sheet1x'"}));
        QCOMPARE(f.read(f.path("b.xlsx")), before);
        QCOMPARE(f.read(f.parameters.unopenableReportPath), (f.native("b.xlsx") + "\r\n").toUtf8());
        QCOMPARE(events.filter("refused ").size(), 1);
        QCOMPARE(events.filter("查找修改1个Excel文件").size(), 1);
    }
};

QTEST_GUILESS_MAIN(SheetRenameRunTest)
#include "tst_sheetrenamerun.moc"
