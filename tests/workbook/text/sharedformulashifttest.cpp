#include "workbook/text/sharedformulashift.h"

#include <QtTest>

using namespace workbook::text;

class SharedFormulaShiftTest : public QObject
{
    Q_OBJECT

private slots:
    void shiftMovesRelativePartsOnly_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("result");
        QTest::newRow("relative") << "A1+B2" << 2 << 1 << "B3+C4";
        QTest::newRow("anchored") << "$A$1+A$1+$A1" << 3 << 2 << "$A$1+C$1+$A4";
        QTest::newRow("range") << "SUM(A1:B2)" << 1 << 0 << "SUM(A2:B3)";
        QTest::newRow("column range") << "SUM(A:A)" << 5 << 1 << "SUM(B:B)";
        QTest::newRow("row range") << "SUM($1:2)" << 1 << 3 << "SUM($1:3)";
        QTest::newRow("sheet reference")
            << "Sheet1!A1*'It''s'!B1" << 1 << 0 << "Sheet1!A2*'It''s'!B2";
        QTest::newRow("column letters roll over") << "Z1" << 0 << 1 << "AA1";
        QTest::newRow("last column") << "XFC1" << 0 << 1 << "XFD1";
        QTest::newRow("off the right edge") << "XFD1+1" << 0 << 1 << "#REF!+1";
        QTest::newRow("off the top") << "SUM(A1:A3)" << -1 << 0 << "SUM(#REF!)";
        QTest::newRow("sheet kept before ref error") << "Sheet1!A1" << -1 << 0 << "Sheet1!#REF!";
        QTest::newRow("strings and names untouched")
            << "\"A1\"&TaxRate&LOG10(A1)" << 1 << 0 << "\"A1\"&TaxRate&LOG10(A2)";
        QTest::newRow("no offset") << "A1" << 0 << 0 << "A1";
    }
    void shiftMovesRelativePartsOnly()
    {
        QFETCH(QString, formula);
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(QString, result);
        QCOMPARE(SharedFormulaShift::shift(formula, rows, columns), result);
    }

    void parseCellReadsPlainCells()
    {
        int row = 0;
        int column = 0;
        QVERIFY(SharedFormulaShift::parseCell(QStringLiteral("AB12"), &row, &column));
        QCOMPARE(row, 12);
        QCOMPARE(column, 28);
        QVERIFY(SharedFormulaShift::parseCell(QStringLiteral("XFD1048576"), &row, &column));
        QVERIFY(!SharedFormulaShift::parseCell(QStringLiteral("XFE1"), &row, &column));
        QVERIFY(!SharedFormulaShift::parseCell(QStringLiteral("A0"), &row, &column));
        QVERIFY(!SharedFormulaShift::parseCell(QStringLiteral("A"), &row, &column));
        QVERIFY(!SharedFormulaShift::parseCell(QStringLiteral("A99999999999"), &row, &column));
    }
};

QTEST_GUILESS_MAIN(SharedFormulaShiftTest)
#include "sharedformulashifttest.moc"
