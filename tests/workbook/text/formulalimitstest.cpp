#include "workbook/text/formulalimits.h"

#include <QtTest>

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
