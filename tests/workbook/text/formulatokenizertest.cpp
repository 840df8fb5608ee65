#include "workbook/text/formulatokenizer.h"

#include "workbook/text/formulalimits.h"
#include "workbook/text/formulasheetrename.h"
#include "workbook/text/sharedformulashift.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace workbook::text;

using Type = FormulaToken::Type;

class FormulaTokenizerTest : public QObject
{
    Q_OBJECT

private:
    // Tokens as "Kind:text" for easy comparison; Other tokens are left out.
    static QStringList shape(const QString &formula)
    {
        QStringList out;
        for (const FormulaToken &t : FormulaTokenizer::tokenize(formula)) {
            const QString text = formula.mid(t.start, t.length);
            switch (t.type) {
            case Type::Other:
                break;
            case Type::String:
                out << QStringLiteral("S:") + text;
                break;
            case Type::Error:
                out << QStringLiteral("E:") + text;
                break;
            case Type::SheetPrefix:
                out << QStringLiteral("P:") + text;
                break;
            case Type::CellRef:
                out << QStringLiteral("R:") + text;
                break;
            case Type::Bracket:
                out << QStringLiteral("B:") + text;
                break;
            case Type::Unterminated:
                out << QStringLiteral("U:") + text;
                break;
            }
        }
        return out;
    }

private slots:
    void tokensCoverTheWholeFormula()
    {
        const QString f = QStringLiteral(
            "=IF('It''s'!A1>0,\"x\"\"y\",[1]Data!$B$2:C3)&Table1[[#This Row],[Col]]");
        QString joined;
        qsizetype expected = 0;
        for (const FormulaToken &t : FormulaTokenizer::tokenize(f)) {
            QCOMPARE(t.start, expected);
            joined += f.mid(t.start, t.length);
            expected = t.start + t.length;
        }
        QCOMPARE(joined, f);
    }

    void tokenKinds_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QStringList>("tokens");
        QTest::newRow("plain references")
            << "A1+$B$2*C$3" << QStringList{"R:A1", "R:$B$2", "R:C$3"};
        QTest::newRow("ranges") << "SUM(A1:B2,C:C,$3:$5)"
                                << QStringList{"R:A1:B2", "R:C:C", "R:$3:$5"};
        QTest::newRow("sheet reference") << "Sheet1!A1" << QStringList{"P:Sheet1!", "R:A1"};
        QTest::newRow("quoted name with quote")
            << "'It''s'!A1" << QStringList{"P:'It''s'!", "R:A1"};
        QTest::newRow("3-D") << "SUM(Sheet1:Sheet3!A1)" << QStringList{"P:Sheet1:Sheet3!", "R:A1"};
        QTest::newRow("external index") << "[1]Sheet1!A1" << QStringList{"P:[1]Sheet1!", "R:A1"};
        QTest::newRow("external name") << "[2]!Total" << QStringList{"P:[2]!"};
        QTest::newRow("string hides reference")
            << "\"Sheet1!A1\"&A2" << QStringList{"S:\"Sheet1!A1\"", "R:A2"};
        QTest::newRow("error literal") << "IF(#REF!,#N/A,1)" << QStringList{"E:#REF!", "E:#N/A"};
        QTest::newRow("functions are not references")
            << "LOG10(A1)+ATAN2(1,2)" << QStringList{"R:A1"};
        QTest::newRow("names are not references") << "ABCD1+TaxRate+_xlfn.X1" << QStringList{};
        QTest::newRow("beyond the grid is a name") << "XFE1+A1048577" << QStringList{};
        QTest::newRow("number with exponent") << "1E+3+2" << QStringList{};
        QTest::newRow("structured reference") << "SUM(Table1[Col A])" << QStringList{"B:[Col A]"};
        QTest::newRow("chinese sheet name")
            << QString::fromUtf8("汇总!A1") << QStringList{QString::fromUtf8("P:汇总!"), "R:A1"};
        QTest::newRow("unterminated string") << "\"abc" << QStringList{"U:\"abc"};
        QTest::newRow("unterminated name") << "'abc!A1" << QStringList{"U:'abc!A1"};
    }
    void tokenKinds()
    {
        QFETCH(QString, formula);
        QFETCH(QStringList, tokens);
        QCOMPARE(shape(formula), tokens);
    }

    // Garbage in: every token stays inside the text, they cover it exactly, and the rewrites
    // built on them finish without touching memory they should not (run under ASan).
    void randomInputIsCoveredExactly()
    {
        static const char kAlphabet[] = "A1$:!'\"[](),#/ S1_.zZ9-+&{}";
        QRandomGenerator g(8192);
        for (int round = 0; round < 3000; ++round) {
            QString f;
            for (int k = int(g.bounded(25)); k > 0; --k) {
                f += QLatin1Char(kAlphabet[g.bounded(int(sizeof kAlphabet - 1))]);
            }
            qsizetype expected = 0;
            for (const FormulaToken &t : FormulaTokenizer::tokenize(f)) {
                QCOMPARE(t.start, expected);
                QVERIFY(t.length > 0);
                expected = t.start + t.length;
            }
            QCOMPARE(expected, f.size());
            SharedFormulaShift::shift(f, int(g.bounded(5)) - 2, int(g.bounded(5)) - 2);
            FormulaSheetRename::rename(f, QStringLiteral("S1"), QStringLiteral("It's"));
            FormulaLimits::check(f);
        }
    }

    void sheetPrefixesNameTheirSheets()
    {
        QVector<FormulaToken> t = FormulaTokenizer::tokenize(QStringLiteral("'Q1 2024:It''s'!A1"));
        QCOMPARE(t[0].firstSheet, QStringLiteral("Q1 2024"));
        QCOMPARE(t[0].lastSheet, QStringLiteral("It's"));
        QVERIFY(t[0].quoted);
        QVERIFY(!t[0].external);
        t = FormulaTokenizer::tokenize(QStringLiteral("'C:\\data\\[Book.xlsx]Sheet 1'!A1"));
        QVERIFY(t[0].external);
        QCOMPARE(t[0].firstSheet, QStringLiteral("Sheet 1"));
        t = FormulaTokenizer::tokenize(QStringLiteral("[1]Sheet1!A1"));
        QVERIFY(t[0].external);
    }
};

QTEST_GUILESS_MAIN(FormulaTokenizerTest)
#include "formulatokenizertest.moc"
