#include "workbook/text/formulasheetrename.h"

#include <QtTest>

using namespace workbook::text;

class FormulaSheetRenameTest : public QObject
{
    Q_OBJECT

private slots:
    void renameRewritesEveryReference_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("result"); // empty: no change
        QTest::newRow("plain") << "=Sheet1!A1+Sheet1!B2"
                               << "Sheet1"
                               << "Data"
                               << "=Data!A1+Data!B2";
        QTest::newRow("case-insensitive match") << "SHEET1!A1"
                                                << "sheet1"
                                                << "Data"
                                                << "Data!A1";
        QTest::newRow("new name needs quotes") << "Sheet1!A1"
                                               << "Sheet1"
                                               << "Q1 2024"
                                               << "'Q1 2024'!A1";
        QTest::newRow("quote doubled") << "Sheet1!A1"
                                       << "Sheet1"
                                       << "It's"
                                       << "'It''s'!A1";
        QTest::newRow("quoted old name") << "'It''s'!A1*2"
                                         << "it's"
                                         << "Plain"
                                         << "Plain!A1*2";
        QTest::newRow("name like a cell") << "Sheet1!A1"
                                          << "Sheet1"
                                          << "AB12"
                                          << "'AB12'!A1";
        QTest::newRow("name like R1C1") << "Sheet1!A1"
                                        << "Sheet1"
                                        << "R2C3"
                                        << "'R2C3'!A1";
        QTest::newRow("name starting with digit") << "Sheet1!A1"
                                                  << "Sheet1"
                                                  << "2024"
                                                  << "'2024'!A1";
        QTest::newRow("chinese unquoted")
            << "Sheet1!A1"
            << "Sheet1" << QString::fromUtf8("汇总") << QString::fromUtf8("汇总!A1");
        QTest::newRow("3-D first") << "SUM(Sheet1:Sheet3!A1)"
                                   << "Sheet1"
                                   << "Jan"
                                   << "SUM(Jan:Sheet3!A1)";
        QTest::newRow("3-D last needs quotes") << "SUM(Sheet1:Sheet3!A1)"
                                               << "Sheet3"
                                               << "Mar 1"
                                               << "SUM('Sheet1:Mar 1'!A1)";
        QTest::newRow("string literal untouched") << "\"Sheet1!A1\"&Sheet1!A1"
                                                  << "Sheet1"
                                                  << "X"
                                                  << "\"Sheet1!A1\"&X!A1";
        QTest::newRow("external untouched") << "[1]Sheet1!A1"
                                            << "Sheet1"
                                            << "X"
                                            << "";
        QTest::newRow("quoted external untouched") << "'[1]Sheet 1'!A1"
                                                   << "Sheet 1"
                                                   << "X"
                                                   << "";
        QTest::newRow("other sheet untouched") << "Sheet10!A1"
                                               << "Sheet1"
                                               << "X"
                                               << "";
        QTest::newRow("hyperlink location") << "'My Sheet'!B7"
                                            << "My Sheet"
                                            << "Other"
                                            << "Other!B7";
        QTest::newRow("defined name to a name") << "Sheet1!Total"
                                                << "Sheet1"
                                                << "S 2"
                                                << "'S 2'!Total";
        QTest::newRow("no sheet at all") << "SUM(A1:A3)"
                                         << "Sheet1"
                                         << "X"
                                         << "";
    }
    void renameRewritesEveryReference()
    {
        QFETCH(QString, formula);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, result);
        const std::optional<QString> out = FormulaSheetRename::rename(formula, from, to);
        QCOMPARE(out.has_value(), !result.isEmpty());
        if (out) {
            QCOMPARE(*out, result);
        }
    }

    void quotingFollowsWhatAFormulaCanRead()
    {
        QVERIFY(!FormulaSheetRename::needsQuotes(QStringLiteral("Sales_2024")));
        QVERIFY(FormulaSheetRename::needsQuotes(QStringLiteral("XFD1")));
        QVERIFY(FormulaSheetRename::needsQuotes(QStringLiteral("a-b")));
        QVERIFY(FormulaSheetRename::needsQuotes(QStringLiteral("TRUE")));
        QVERIFY(FormulaSheetRename::needsQuotes(QStringLiteral("C")));
        QCOMPARE(FormulaSheetRename::quoted(QStringLiteral("a'b")), QStringLiteral("'a''b'"));
    }
};

QTEST_GUILESS_MAIN(FormulaSheetRenameTest)
#include "formulasheetrenametest.moc"
