#include "workbook/text/formulagrid.h"

#include <QtTest>

using namespace workbook::text;

class FormulaGridTest : public QObject
{
    Q_OBJECT

private slots:
    void referencesBeyondTheGridAreNamed_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("beyond");
        const int xlsRows = 65536, xlsColumns = 256;
        const int xlsxRows = 1048576, xlsxColumns = 16384;
        QTest::newRow("last cell of .xls") << "=IV65536" << xlsRows << xlsColumns << "";
        QTest::newRow("one column past .xls") << "=IW1+1" << xlsRows << xlsColumns << "IW1";
        QTest::newRow("one row past .xls")
            << "=SUM(A1,A65537)" << xlsRows << xlsColumns << "A65537";
        QTest::newRow("anchored range end")
            << "=SUM($A$1:$IW$2)" << xlsRows << xlsColumns << "$A$1:$IW$2";
        QTest::newRow("whole columns") << "=SUM(A:IW)" << xlsRows << xlsColumns << "A:IW";
        QTest::newRow("whole rows")
            << "=SUM(65536:65537)" << xlsRows << xlsColumns << "65536:65537";
        QTest::newRow("behind a sheet prefix")
            << "='My Sheet'!XA10" << xlsRows << xlsColumns << "XA10";
        QTest::newRow("inside a string") << "=\"IW1\"&A1" << xlsRows << xlsColumns << "";
        QTest::newRow("a function, not a cell") << "=LOG10(100)" << xlsRows << xlsColumns << "";
        QTest::newRow("same reference, larger grid")
            << "=IW1+A65537" << xlsxRows << xlsxColumns << "";
        QTest::newRow("last cell of .xlsx") << "=XFD1048576" << xlsxRows << xlsxColumns << "";
        QTest::newRow("no formula") << "" << xlsRows << xlsColumns << "";
    }
    void referencesBeyondTheGridAreNamed()
    {
        QFETCH(QString, formula);
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(QString, beyond);
        QCOMPARE(FormulaGrid::referenceBeyond(formula, rows, columns), beyond);
    }
};

QTEST_APPLESS_MAIN(FormulaGridTest)
#include "formulagridtest.moc"
