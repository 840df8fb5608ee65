#include "engine/pageheaderfooterrun.h"
#include "tests/engine/recordingobserver.h"
#include "tests/engine/runfixture.h"

#include <QtTest>

class PageHeaderFooterRunTest : public QObject
{
    Q_OBJECT

private:
    static RunParameters header(RunParameters p, const QString &pos, const QString &find,
                                const QString &text)
    {
        p.pageHeaderOn = true;
        p.pageFooterOn = false;
        p.pageHeaderPos = pos;
        p.pageHeaderFind = find;
        p.pageHeaderText = text;
        return p;
    }

private slots:
    void emptyFindSetsTheChosenSectionOnEverySheetInOrder()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"S1|!page LeftHeader=keep", "S2", "S3"}));
        RecordingObserver observer;
        PageHeaderFooterRun::Execute(header(f.parameters, "中间", "", "Page A"), observer);

        QCOMPARE(
            f.bookCalls(),
            QStringList({"Open " + f.native("a.xlsx"), "Sheets", "Count", "Item 1", "PageSetup S1",
                         "SetText S1 CenterHeader=Page A", "Item 2", "PageSetup S2",
                         "SetText S2 CenterHeader=Page A", "Item 3", "PageSetup S3",
                         "SetText S3 CenterHeader=Page A", "Save", "Close false"}));
        QVERIFY(f.read(f.path("a.xlsx")).contains("page LeftHeader=keep\n"));
        QVERIFY(observer.Events().filter("message 查找修改1个Excel文件,耗时").size() == 1);
        // This run keeps no changed or unchanged list.
        QCOMPARE(QDir(f.dir.path()).entryList({"*.txt"}), QStringList());
    }

    void findReplacesEveryNonOverlappingCaseSensitiveOccurrence_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("replace");
        QTest::addColumn<QString>("after");
        QTest::newRow("no re-scan") << "aaaa"
                                    << "aa"
                                    << "a"
                                    << "aa";
        QTest::newRow("case") << "ABC abc"
                              << "abc"
                              << "x"
                              << "ABC x";
        QTest::newRow("absent, written back") << "same"
                                              << "zz"
                                              << "y"
                                              << "same";
    }

    void findReplacesEveryNonOverlappingCaseSensitiveOccurrence()
    {
        QFETCH(QString, before);
        QFETCH(QString, find);
        QFETCH(QString, replace);
        QFETCH(QString, after);
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"S1|!page RightHeader=" + before}));
        RecordingObserver observer;
        PageHeaderFooterRun::Execute(header(f.parameters, "右边", find, replace), observer);

        QCOMPARE(f.bookCalls().filter(QRegularExpression("^(Text|SetText)")),
                 QStringList({"Text S1 RightHeader", "SetText S1 RightHeader=" + after}));
        QVERIFY(f.bookCalls().contains("Save"));
    }

    void footerRunTouchesOnlyFootersAndUnknownPositionsNothing()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"S1"}));
        RunParameters p = header(f.parameters, "中间", "", "stale header");
        p.pageHeaderOn = false;
        p.pageFooterOn = true;
        p.pageFooterPos = "左边";
        p.pageFooterText = "foot";
        RecordingObserver observer;
        PageHeaderFooterRun::Execute(p, observer);
        QCOMPARE(f.bookCalls().filter("SetText"), QStringList({"SetText S1 LeftFooter=foot"}));

        f.automation->ClearCalls();
        p.pageFooterPos = "left";
        PageHeaderFooterRun::Execute(p, observer);
        QVERIFY(f.bookCalls().filter("SetText").isEmpty());
        QVERIFY(f.bookCalls().contains("Save"));
    }

    void sheetsWithoutPageSetupAreSkippedAndFailuresListed()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"Dialog|!nopagesetup", "S2"}));
        QVERIFY(f.book("b.xlsx", {"S1"}, {"refusesave"}));
        QFile broken(f.path("c.xls"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.close();
        RecordingObserver observer;
        PageHeaderFooterRun::Execute(header(f.parameters, "左边", "", "L"), observer);

        QCOMPARE(f.bookCalls().filter("SetText"),
                 QStringList({"SetText S2 LeftHeader=L", "SetText S1 LeftHeader=L"}));
        // Neither the unsaved nor the unopened workbook counts as changed.
        QVERIFY(observer.Events().filter("message 查找修改1个Excel文件,耗时").size() == 1);
        QCOMPARE(f.read(f.parameters.unopenableReportPath),
                 (f.native("b.xlsx") + "\r\n" + f.native("c.xls") + "\r\n").toUtf8());
        QVERIFY(!f.bookCalls()
                     .mid(f.bookCalls().indexOf("Open " + f.native("c.xls")))
                     .contains("Close false"));
    }

    void sheetWhoseHeaderCannotBeReadIsNotWrittenAsEmptyAndItsWorkbookNotSaved()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"S1|!page CenterHeader=old", "S2|!unreadable"}));
        QVERIFY(f.book("b.xlsx", {"S1|!page CenterHeader=old"}));
        const QByteArray before = f.read(f.path("a.xlsx"));
        f.parameters.pageHeaderOn = true;
        f.parameters.pageHeaderPos = QStringLiteral("中间");
        f.parameters.pageHeaderFind = "old";
        f.parameters.pageHeaderText = "new";
        RecordingObserver observer;
        PageHeaderFooterRun::Execute(f.parameters, observer);

        QCOMPARE(f.read(f.path("a.xlsx")), before);
        QVERIFY(f.bookCalls().filter("SetText S2").isEmpty());
        QCOMPARE(f.read(f.parameters.unopenableReportPath), (f.native("a.xlsx") + "\r\n").toUtf8());
        QCOMPARE(observer.Events().filter("refused " + f.native("a.xlsx") + ": sheet 'S2'").size(),
                 1);
        QCOMPARE(observer.Events().filter("查找修改1个Excel文件").size(), 1);
    }
};

QTEST_GUILESS_MAIN(PageHeaderFooterRunTest)
#include "tst_pageheaderfooterrun.moc"
