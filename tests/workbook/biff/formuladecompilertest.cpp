#include "workbook/biff/formuladecompiler.h"

#include "tests/workbook/support/biffstreambuilder.h"
#include "workbook/biff/biffworkbook.h"
#include "workbook/biff/formulanames.h"
#include "workbook/biff/formulaprecheck.h"
#include "workbook/text/findpattern.h"

#include <QtTest>

using B = BiffStreamBuilder;
using workbook::biff::BiffWorkbook;
using workbook::biff::FormulaDecompiler;
using workbook::biff::FormulaPrecheck;

namespace
{

// Names for tokens that refer outside the formula, without a workbook behind them.
class FixedNames : public workbook::biff::FormulaNames
{
public:
    bool sheetPrefix(int ixti, QString *out) const override
    {
        if (ixti > 0)
            return false;
        *out = QStringLiteral("Data!");
        return true;
    }
    bool definedName(int index, QString *out) const override
    {
        if (index != 1)
            return false;
        *out = QStringLiteral("Rate");
        return true;
    }
    bool externalName(int, int index, QString *out) const override
    {
        if (index != 1)
            return false;
        *out = QStringLiteral("_xlfn.CONCAT");
        return true;
    }
};

QByteArray tInt(int v)
{
    return B::u8(0x1E) + B::u16(v);
}
QByteArray tRef(int row, int column, bool rowRelative = true, bool columnRelative = true)
{
    return B::u8(0x24) + B::u16(row) +
           B::u16(column | (rowRelative ? 0x8000 : 0) | (columnRelative ? 0x4000 : 0));
}
QByteArray tArea(int r1, int r2, int c1, int c2, int flags = 0xC000)
{
    return B::u8(0x25) + B::u16(r1) + B::u16(r2) + B::u16(c1 | flags) + B::u16(c2 | flags);
}
QByteArray space(int type, int count)
{
    return B::u8(0x19) + B::u8(0x40) + B::u8(type) + B::u8(count);
}
QByteArray funcVar(int index, int argc)
{
    return B::u8(0x42) + B::u8(argc) + B::u16(index);
}
QByteArray func(int index)
{
    return B::u8(0x41) + B::u16(index);
}
QByteArray str(const QString &s)
{
    return B::u8(0x17) + B::string(s, 1);
}

QString decompile(const QByteArray &tokens, const QByteArray &extra = {}, int row = 0,
                  int column = 0, QString *reason = nullptr,
                  const workbook::biff::FormulaNames &names = FixedNames())
{
    FormulaDecompiler::Input in;
    in.tokens = tokens;
    in.extra = extra;
    in.row = row;
    in.column = column;
    QString out, why;
    if (!FormulaDecompiler::decompile(in, names, &out, &why)) {
        if (reason)
            *reason = why;
        return QStringLiteral("(refused)");
    }
    return out;
}

} // namespace

class FormulaDecompilerTest : public QObject
{
    Q_OBJECT

private slots:
    void operatorsAndParenthesesAsStored_data()
    {
        QTest::addColumn<QByteArray>("tokens");
        QTest::addColumn<QString>("text");
        QTest::newRow("precedence without parentheses")
            << tInt(1) + tInt(2) + tInt(3) + B::u8(0x05) + B::u8(0x03) << "1+2*3";
        QTest::newRow("stored parentheses")
            << tInt(1) + tInt(2) + B::u8(0x03) + B::u8(0x15) + tInt(3) + B::u8(0x05) << "(1+2)*3";
        QTest::newRow("unary minus and percent")
            << tRef(0, 0) + B::u8(0x13) + tInt(5) + B::u8(0x14) + B::u8(0x07) << "-A1^5%";
        QTest::newRow("comparisons and concatenation")
            << tRef(0, 0) + tRef(0, 1) + B::u8(0x0E) + str("x\"y") + B::u8(0x08)
            << "A1<>B1&\"x\"\"y\"";
        QTest::newRow("intersection and union")
            << tArea(0, 1, 0, 1) + tArea(1, 2, 1, 2) + B::u8(0x0F) + tRef(4, 4) + B::u8(0x10) +
                   B::u8(0x15) + funcVar(4, 1)
            << "SUM((A1:B2 B2:C3,E5))";
        QTest::newRow("spaces and line breaks kept")
            << tRef(0, 0) + space(0, 1) + tRef(0, 1) + space(1, 1) + B::u8(0x03) + space(4, 2) +
                   funcVar(4, 1)
            << "SUM(A1\n+ B1  )";
        QTest::newRow("SUM by tAttrSum")
            << tArea(0, 9, 2, 2) + B::u8(0x19) + B::u8(0x10) + B::u16(0) << "SUM(C1:C10)";
        QTest::newRow("IF with its jumps, a missing argument")
            << tRef(0, 0) + B::u8(0x19) + B::u8(0x02) + B::u16(7) + B::u8(0x16) + B::u8(0x19) +
                   B::u8(0x08) + B::u16(3) + tInt(1) + B::u8(0x19) + B::u8(0x08) + B::u16(3) +
                   funcVar(1, 3)
            << "IF(A1,,1)";
        QTest::newRow("CHOOSE with its jump table")
            << tInt(2) + B::u8(0x19) + B::u8(0x04) + B::u16(2) + B::u16(0) + B::u16(0) + B::u16(0) +
                   str("a") + str("b") + funcVar(100, 3)
            << "CHOOSE(2,\"a\",\"b\")";
        QTest::newRow("fixed-arity function")
            << B::u8(0x1F) + B::f64(3.14159) + tInt(2) + func(27) << "ROUND(3.14159,2)";
        QTest::newRow("constants")
            << B::u8(0x1F) + B::f64(1e20) + B::u8(0x1D) + B::u8(1) + B::u8(0x1C) + B::u8(0x07) +
                   B::u8(0x1F) + B::f64(0.1) + funcVar(4, 4)
            << "SUM(1E+20,TRUE,#DIV/0!,0.1)";
        QTest::newRow("absolute parts and whole columns and rows")
            << tRef(0, 0, false, false) + tRef(1, 1, true, false) + B::u8(0x03) +
                   tArea(0, 0xFFFF, 0, 1) + B::u8(0x03) + tArea(0, 1, 0, 0xFF, 0) + B::u8(0x03)
            << "$A$1+$B2+A:B+$1:$2";
        QTest::newRow("deleted references")
            << B::u8(0x2A) + QByteArray(4, '\0') + B::u8(0x2B) + QByteArray(8, '\0') + B::u8(0x03) +
                   B::u8(0x3C) + B::u16(0) + QByteArray(4, '\0') + B::u8(0x03)
            << "#REF!+#REF!+Data!#REF!";
        QTest::newRow("3-D reference and defined name")
            << B::u8(0x3A) + B::u16(0) + B::u16(2) + B::u16(0xC003) + B::u8(0x23) + B::u16(1) +
                   B::u16(0) + B::u8(0x05)
            << "Data!D3*Rate";
        QTest::newRow("add-in or newer function by its name")
            << B::u8(0x39) + B::u16(0) + B::u16(1) + B::u16(0) + str("a") + tRef(0, 0) +
                   funcVar(255, 3)
            << "_xlfn.CONCAT(\"a\",A1)";
        QTest::newRow("memory tokens show only what follows")
            << B::u8(0x29) + B::u16(9) + tArea(0, 1, 0, 0) + tArea(0, 1, 1, 1) + B::u8(0x10) +
                   funcVar(4, 1)
            << "SUM(A1:A2,B1:B2)";
    }

    void operatorsAndParenthesesAsStored()
    {
        QFETCH(QByteArray, tokens);
        QFETCH(QString, text);
        QString why;
        QCOMPARE(decompile(tokens, {}, 0, 0, &why), text);
        QCOMPARE(why, QString());
    }

    void longRealFormulasAreShown()
    {
        // IF nested 64 deep, the most Excel allows, each level with a long test.
        QByteArray tokens;
        QString text;
        for (int i = 0; i < 64; ++i) {
            tokens += tRef(i, 0) + str(QString(20, 'a' + i % 26)) + B::u8(0x0B) + tInt(i);
            text += QStringLiteral("IF(A%1=\"%2\",%3,")
                        .arg(i + 1)
                        .arg(QString(20, 'a' + i % 26))
                        .arg(i);
        }
        tokens += tInt(0);
        text += QLatin1Char('0');
        for (int i = 0; i < 64; ++i) {
            tokens += funcVar(1, 3);
            text += QLatin1Char(')');
        }
        QString why;
        QCOMPARE(decompile(tokens, {}, 0, 0, &why), text);
    }

    void arrayConstantsFromTheExtraData()
    {
        const QByteArray extra = B::u8(1) + B::u16(1) + B::u8(0x01) + B::f64(1.5) + B::u8(0x02) +
                                 B::string("a\"") + B::u8(0x04) + B::u8(1) + QByteArray(7, '\0') +
                                 B::u8(0x10) + B::u8(0x2A) + QByteArray(7, '\0');
        QCOMPARE(decompile(B::u8(0x60) + QByteArray(7, '\0') + funcVar(4, 1), extra),
                 QStringLiteral("SUM({1.5,\"a\"\"\";TRUE,#N/A})"));
    }

    void relativeReferencesOfSharedFormulasMoveWithTheCell()
    {
        FormulaDecompiler::Input in;
        // A row offset of -1 and a column offset of +2, from cell C5.
        in.tokens = B::u8(0x2C) + B::u16(0xFFFF) + B::u16(0xC002) + B::u8(0x2D) + B::u16(0) +
                    B::u16(3) + B::u16(0x4000) + B::u16(0x4001) + funcVar(4, 2);
        in.row = 4;
        in.column = 2;
        in.references = FormulaDecompiler::References::Relative;
        QString out, why;
        QVERIFY2(FormulaDecompiler::decompile(in, FixedNames(), &out, &why), qPrintable(why));
        QCOMPARE(out, QStringLiteral("SUM(E4,C$1:D$4)"));
    }

    void sheetReferencesThroughTheWorkbooksTables()
    {
        B b;
        const QByteArray supSelf = B::record(0x01AE, B::u16(4) + B::u16(0x0401));
        const QByteArray supOther =
            B::record(0x01AE, B::u16(1) + B::u16(8) + B::u8(0) + "book.xls" + B::string("Ext 1"));
        const QByteArray xti = B::record(
            0x0017, B::u16(5) + B::u16(0) + B::u16(0) + B::u16(0) + B::u16(0) + B::u16(1) +
                        B::u16(1) + B::u16(0) + B::u16(0) + B::u16(2) + B::u16(0) + B::u16(0xFFFF) +
                        B::u16(0xFFFF) + B::u16(1) + B::u16(0) + B::u16(0));
        b.globals = supSelf + supOther + xti +
                    B::record(0x0018, B::u16(0x0020) + B::u8(0) + B::u8(1) + B::u16(0) + B::u16(0) +
                                          B::u16(1) + QByteArray(4, '\0') + B::u8(0) + B::u8(0x06));
        b.sheets = {
            {"Sheet1", 0, 0, 0x0010, {}}, {"It's", 0, 0, 0x0010, {}}, {"Sheet3", 0, 0, 0x0010, {}}};
        QString why;
        const auto wb = BiffWorkbook::read(b.build(), &why);
        QVERIFY2(wb, qPrintable(why));
        auto ref3d = [](int ixti) {
            return B::u8(0x3A) + B::u16(ixti) + B::u16(0) + B::u16(0xC000);
        };
        QCOMPARE(decompile(ref3d(0) + ref3d(1) + B::u8(0x03) + ref3d(2) + B::u8(0x03) + ref3d(3) +
                               B::u8(0x03) + ref3d(4) + B::u8(0x03) + B::u8(0x23) + B::u16(1) +
                               B::u16(0) + B::u8(0x03),
                           {}, 0, 0, &why, *wb),
                 QStringLiteral("Sheet1!A1+'It''s'!A1+Sheet1:Sheet3!A1+#REF!A1+'[1]Ext 1'!A1+"
                                "Print_Area"));
    }

    void malformedTokensAreRefusedWithTheReason_data()
    {
        QTest::addColumn<QByteArray>("tokens");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unknown function") << funcVar(0x7000, 0) << "unknown function index 28672";
        QTest::newRow("short of operands")
            << tInt(1) + B::u8(0x03) << "an operator or function is short of operands";
        QTest::newRow("too few arguments")
            << tInt(1) + funcVar(4, 3) << "function index 4 is short of its 3 arguments";
        QTest::newRow("cut short")
            << tInt(1) + B::u8(0x24) + B::u16(1) << "a token cut short at the end of the formula";
        QTest::newRow("operands left over")
            << tInt(1) + tInt(2) << "2 operands left without an operator";
        QTest::newRow("empty") << QByteArray() << "an empty formula";
        QTest::newRow("unknown sheet entry")
            << B::u8(0x3A) + B::u16(3) + B::u16(0) + B::u16(0)
            << "a reference through EXTERNSHEET entry 3, which does not exist";
        QTest::newRow("unknown name") << B::u8(0x23) + B::u16(9) + B::u16(0)
                                      << "a reference to defined name 9, which does not exist";
        QTest::newRow("array constant without its data")
            << B::u8(0x40) + QByteArray(7, '\0') << "an array constant larger than its stored data";
        QByteArray longText = str(QString(255, 'x'));
        for (int i = 0; i < 33; ++i)
            longText += str(QString(255, 'x')) + B::u8(0x08);
        QByteArray chain = str(QString(255, 'x'));
        for (int i = 0; i < 1500; ++i)
            chain += tInt(1) + B::u8(0x03);
        QTest::newRow("nesting that rebuilds the text too often")
            << chain << "the formula nests too deeply to be shown";
        QTest::newRow("text beyond Excel's formula length")
            << longText << "the formula text grows beyond 8192 characters";
    }

    void malformedTokensAreRefusedWithTheReason()
    {
        QFETCH(QByteArray, tokens);
        QFETCH(QString, reason);
        QString why;
        QCOMPARE(decompile(tokens, {}, 0, 0, &why), QStringLiteral("(refused)"));
        QCOMPARE(why, reason);
    }

    // The check Find makes on tokens before decompiling: never "cannot match" for a text that
    // matches, every piece of every formula above searched in both cases.
    void precheckKeepsEveryFormulaThatMatches_data() { operatorsAndParenthesesAsStored_data(); }

    void precheckKeepsEveryFormulaThatMatches()
    {
        QFETCH(QByteArray, tokens);
        QFETCH(QString, text);
        const FixedNames names;
        for (int from = 0; from < text.size(); ++from) {
            for (int length = 1; length <= 8 && from + length <= text.size(); ++length) {
                for (const QString &piece :
                     {text.mid(from, length), text.mid(from, length).toLower()}) {
                    FormulaPrecheck precheck(piece, names);
                    QVERIFY2(precheck.mayMatch(tokens, false), qPrintable(piece));
                }
            }
        }
    }

    void precheckPassesOverWhatCannotMatch_data()
    {
        QTest::addColumn<QByteArray>("tokens");
        QTest::addColumn<QString>("what");
        QTest::addColumn<bool>("relative");
        QTest::addColumn<bool>("mayMatch");
        const QByteArray sum = tArea(0, 1, 0, 1) + funcVar(4, 1);
        QTest::newRow("numbers and operators")
            << tInt(1) + tInt(2) + B::u8(0x03) << "Foo" << false << false;
        QTest::newRow("function name") << sum << "sum(" << false << true;
        QTest::newRow("longer than the function name") << sum << "summ" << false << false;
        QTest::newRow("wildcards between runs")
            << str("Foobar") + tRef(0, 0) + B::u8(0x08) << "foo*A1" << false << true;
        QTest::newRow("one run missing")
            << str("Foobar") + tRef(0, 0) + B::u8(0x08) << "foo*xyz" << false << false;
        QTest::newRow("sheet and defined name")
            << B::u8(0x3A) + B::u16(0) + B::u16(2) + B::u16(0xC003) + B::u8(0x23) + B::u16(1) +
                   B::u16(0) + B::u8(0x05)
            << "ata!d3*rat" << false << true;
        QTest::newRow("deleted reference")
            << B::u8(0x2A) + QByteArray(4, '\0') << "REF" << false << true;
        QTest::newRow("a shared formula's cells may show #REF!")
            << tInt(1) << "ref" << true << true;
        QTest::newRow("East Asian letters")
            << str(QString::fromUtf8("中文")) << QString::fromUtf8("中") << false << true;
        QTest::newRow("East Asian letters absent")
            << tInt(1) << QString::fromUtf8("中") << false << false;
        QTest::newRow("unknown function left to the decompiler")
            << funcVar(0x7000, 0) << "foo" << false << true;
        QTest::newRow("unknown name left to the decompiler")
            << B::u8(0x23) + B::u16(9) + B::u16(0) << "foo" << false << true;
        QTest::newRow("operands left over left to the decompiler")
            << tInt(1) + tInt(2) << "foo" << false << true;
        QTest::newRow("array constant left to the decompiler")
            << B::u8(0x40) + QByteArray(7, '\0') << "foo" << false << true;
    }

    void precheckPassesOverWhatCannotMatch()
    {
        QFETCH(QByteArray, tokens);
        QFETCH(QString, what);
        QFETCH(bool, relative);
        QFETCH(bool, mayMatch);
        const FixedNames names;
        FormulaPrecheck precheck(what, names);
        QVERIFY(precheck.isActive());
        QCOMPARE(precheck.mayMatch(tokens, relative), mayMatch);
    }

    void precheckNeedsThreeLettersOrEastAsianOnes()
    {
        const FixedNames names;
        for (const char *none : {"ab", "a1*b2", "1.5", "~*ab~?", "$A$1:B"})
            QVERIFY2(!FormulaPrecheck(none, names).isActive(), none);
        QVERIFY(FormulaPrecheck("x ab~*cde", names).isActive());
    }
};

QTEST_GUILESS_MAIN(FormulaDecompilerTest)
#include "formuladecompilertest.moc"
