#include "workbook/text/formulalimits.h"

#include <QtTest>

using namespace workbook::text;

Q_DECLARE_METATYPE(FormulaLimits::Verdict)

class FormulaLimitsTest : public QObject
{
    Q_OBJECT

private slots:
    void checkCatchesBrokenFormulas_data()
    {
        using V = FormulaLimits::Verdict;
        QTest::addColumn<QString>("formula");
        QTest::addColumn<V>("verdict");
        QTest::newRow("fine") << "=SUM(A1:A3)*(2+3)" << V::Ok;
        QTest::newRow("parenthesis inside a string") << "=\"(\"&A1" << V::Ok;
        QTest::newRow("parenthesis inside a sheet name") << "='a(b'!A1" << V::Ok;
        QTest::newRow("unclosed") << "=SUM(A1" << V::UnbalancedParentheses;
        QTest::newRow("closed too often") << "=A1)" << V::UnbalancedParentheses;
        QTest::newRow("closed before opened") << "=)A1(" << V::UnbalancedParentheses;
        QTest::newRow("array braces") << "={1,2" << V::UnbalancedParentheses;
        QTest::newRow("open string") << "=\"abc" << V::UnterminatedQuote;
        QTest::newRow("open sheet name") << "='abc!A1" << V::UnterminatedQuote;
        QTest::newRow("open bracket") << "=Table1[Col" << V::UnterminatedQuote;
        QTest::newRow("nothing") << "=" << V::Empty;
        QTest::newRow("at the limit") << QString(8192, QLatin1Char('1')) << V::Ok;
        QTest::newRow("over the limit") << QString(8193, QLatin1Char('1')) << V::TooLong;
        QTest::newRow("trailing operator") << "=1+" << V::Incomplete;
        QTest::newRow("operator before a closing parenthesis") << "=(1+)*2" << V::Incomplete;
        QTest::newRow("empty group") << "=()" << V::Incomplete;
        QTest::newRow("operator without a left operand") << "=*2" << V::Incomplete;
        QTest::newRow("two operators") << "=1*/2" << V::Incomplete;
        QTest::newRow("empty array element") << "={1,}" << V::Incomplete;
        QTest::newRow("open range") << "=SUM(A1:)" << V::Incomplete;
        QTest::newRow("percent of nothing") << "=%" << V::Incomplete;
        QTest::newRow("comma at the top level") << "=1," << V::Incomplete;
        QTest::newRow("typographic quotes")
            << QString::fromUtf8("=“合计“&B1") << V::UnknownCharacter;
        QTest::newRow("full width operator") << QString::fromUtf8("=A1＋1") << V::UnknownCharacter;
        QTest::newRow("ideographic space")
            << QString::fromUtf8("=A1\u3000+1") << V::UnknownCharacter;
        QTest::newRow("symbol") << QString::fromUtf8("=A1€") << V::UnknownCharacter;
    }

    // Every form Excel accepts must pass: a refused formula leaves the cell unchanged.
    void checkAcceptsWhatExcelAccepts_data()
    {
        QTest::addColumn<QString>("formula");
        for (const char *f : {"=IF(A1,,1)",
                              "=NOW()",
                              "=-A1%",
                              "=A1 B1",
                              "={1,2;3,-4}",
                              "=SUM((A1,B1))",
                              "=1E+3*2.5E-2",
                              "=LOG10(100)+ATAN2(1,2)",
                              "=Sheet1!A1+'My Sheet'!B2:C3",
                              "=[1]Sheet1!A1+[1]!Name",
                              "=SUM(Table1[[#This Row],[Col]])",
                              "=_xlfn.XLOOKUP(A1,B:B,C:C)",
                              "=A1<>B1",
                              "=(A1>=1)*(A1<=2)",
                              "=\"a\"&\"b\"",
                              "=#REF!+1",
                              "=@A1:A3",
                              "=+--1",
                              "=SUM (A1, B1)",
                              "=VLOOKUP(A1,$B$1:$C$9,2,)",
                              "=A1\n+B1",
                              "=IF(OR(A1=\"\",B1=\"x\"),\"\",A1)",
                              "=单价*数量"}) {
            QTest::newRow(f) << QString::fromUtf8(f);
        }
    }
    void checkAcceptsWhatExcelAccepts()
    {
        QFETCH(QString, formula);
        QCOMPARE(FormulaLimits::check(formula), FormulaLimits::Verdict::Ok);
    }
    void checkCatchesBrokenFormulas()
    {
        QFETCH(QString, formula);
        QFETCH(FormulaLimits::Verdict, verdict);
        QCOMPARE(FormulaLimits::check(formula), verdict);
    }
};

QTEST_GUILESS_MAIN(FormulaLimitsTest)
#include "formulalimitstest.moc"
