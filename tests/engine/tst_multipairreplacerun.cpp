#include "engine/multipairreplacerun.h"
#include "engine/runlauncher.h"
#include "tests/engine/recordingobserver.h"
#include "tests/engine/runfixture.h"

#include <QtTest>

class MultiPairReplaceRunTest : public QObject
{
    Q_OBJECT

private slots:
    void pairsRunInOrderAndSearchingStopsAtTheFirstHit()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"One|a b", "Two|b"}));
        QVERIFY(RunLauncher::SplitPairs("a\nb", "x\ny", &f.parameters.findLines,
                                        &f.parameters.replaceLines));
        RecordingObserver observer;
        MultiPairReplaceRun::Execute(f.parameters, observer);

        QCOMPARE(f.bookCalls(),
                 QStringList({"Open " + f.native("a.xlsx"), "Sheets", "Count", "Item 1",
                              "UsedRange One", "Find One a", "Replace One a x", "Replace One b y",
                              "Item 2", "UsedRange Two", "Replace Two a x", "Replace Two b y",
                              "Save", "Close false"}));
        QVERIFY(f.read(f.path("a.xlsx")).contains("cell x y\n"));
        // One line per matched workbook, path alone.
        QCOMPARE(f.read(f.parameters.changedReportPath), (f.native("a.xlsx") + "\r\n").toUtf8());
    }

    void onlyTheSecondPairsTextOrAnEarlierReplacementCanMatch()
    {
        RunFixture f;
        QVERIFY(f.book("second.xlsx", {"One|only b here"}));
        QVERIFY(f.book("written.xlsx", {"One|q"}));
        QVERIFY(f.book("none.xlsx", {"One|nothing"}));
        QVERIFY(RunLauncher::SplitPairs("a\nb\nq\nr", "x\ny\nr\ns", &f.parameters.findLines,
                                        &f.parameters.replaceLines));
        RecordingObserver observer;
        MultiPairReplaceRun::Execute(f.parameters, observer);

        // q becomes r by the third pair, which the fourth pair's search then finds.
        QCOMPARE(f.read(f.parameters.changedReportPath),
                 (f.native("second.xlsx") + "\r\n" + f.native("written.xlsx") + "\r\n").toUtf8());
        QCOMPARE(f.read(f.parameters.unchangedReportPath),
                 (f.native("none.xlsx") + "\r\n").toUtf8());
        QVERIFY(f.read(f.path("written.xlsx")).contains("cell s\n"));
        QCOMPARE(observer.Events().filter("包含查找内容有2个Excel文件").size(), 1);
    }

    void listOnlySearchesPairByPairUntilTheFirstHit()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"One|b", "Two|a"}));
        const QByteArray before = f.read(f.path("a.xlsx"));
        QVERIFY(RunLauncher::SplitPairs("a\nb\nc", "x\ny\nz", &f.parameters.findLines,
                                        &f.parameters.replaceLines));
        f.parameters.justShow = true;
        RecordingObserver observer;
        MultiPairReplaceRun::Execute(f.parameters, observer);

        QCOMPARE(f.bookCalls().filter(QRegularExpression("^(Find|Replace|Save)")),
                 QStringList({"Find One a", "Find One b"}));
        QCOMPARE(f.read(f.path("a.xlsx")), before);
    }

    void pairCountCheckKeepsEmptyLinesAndRefusesUnequalLists()
    {
        QStringList find, replace;
        QVERIFY(RunLauncher::SplitPairs("", "", &find, &replace));
        QCOMPARE(find, QStringList({""}));
        QVERIFY(!RunLauncher::SplitPairs("a\nb\nc", "x\ny", &find, &replace));
        QVERIFY(!RunLauncher::SplitPairs("a\n", "x", &find, &replace));
        QCOMPARE(find, QStringList({"a", ""}));
        QCOMPARE(QString::fromUtf8(RunLauncher::kPairCountTitle), QString("注意："));
        QCOMPARE(QString::fromUtf8(RunLauncher::kPairCountMessage),
                 QString("查找数和替换数不一致,请核对!"));
    }

    void unequalListsThatBypassTheCheckLeaveNoTextUnpaired()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"One|a b"}));
        f.parameters.findLines = QStringList({"a", "b"});
        f.parameters.replaceLines = QStringList({"x"});
        RecordingObserver observer;
        MultiPairReplaceRun::Execute(f.parameters, observer);
        QCOMPARE(f.bookCalls().filter("Replace"), QStringList({"Replace One a x"}));
    }

    void sheetThatCannotBeReadLeavesItsWorkbookUnsavedAndListedAsUnopenable()
    {
        RunFixture f;
        QVERIFY(f.book("a.xlsx", {"One|a", "Two|b|!unreadable"}));
        QVERIFY(f.book("b.xlsx", {"One|b"}));
        const QByteArray before = f.read(f.path("a.xlsx"));
        f.parameters.findLines = QStringList({"a", "b"});
        f.parameters.replaceLines = QStringList({"x", "y"});
        RecordingObserver observer;
        MultiPairReplaceRun::Execute(f.parameters, observer);

        QCOMPARE(f.read(f.path("a.xlsx")), before);
        QCOMPARE(f.read(f.parameters.unopenableReportPath), (f.native("a.xlsx") + "\r\n").toUtf8());
        QCOMPARE(f.read(f.parameters.changedReportPath), (f.native("b.xlsx") + "\r\n").toUtf8());
        QCOMPARE(observer.Events().filter("refused ").size(), 1);
        QCOMPARE(observer.Events().filter("查找1个Excel文件,包含查找内容有1个Excel文件").size(), 1);
    }
};

QTEST_GUILESS_MAIN(MultiPairReplaceRunTest)
#include "tst_multipairreplacerun.moc"
