#include "workbook/biff/formulacompiler.h"

#include "tests/workbook/support/biffstreambuilder.h"
#include "workbook/biff/biffworkbook.h"
#include "workbook/biff/formuladecompiler.h"
#include "workbook/biff/functiontable.h"

#include <QtTest>

using B = BiffStreamBuilder;
using workbook::biff::BiffWorkbook;
using workbook::biff::FormulaCompiler;
using workbook::biff::FormulaDecompiler;
using Kind = workbook::biff::FormulaCompiler::Kind;

namespace
{

QByteArray nameRecord(const QString &name, int sheet)
{
    const QByteArray rgce = B::u8(0x1E) + B::u16(1);
    return B::record(0x0018, B::u16(0) + B::u8(0) + B::u8(name.size()) + B::u16(rgce.size()) +
                                 B::u16(0) + B::u16(sheet + 1) + B::u32(0) + B::u8(0) +
                                 name.toLatin1() + rgce);
}

// Sheets Data, 'Q1 2024', 'It''s' and Sheet3; EXTERNSHEET entries for the first three alone,
// for Data:Sheet3, for sheet Other of external workbook [1], for an add-in and for a deleted
// sheet; names Rate (the workbook's and sheet 1's own) and Total; add-in function YEARFRAC.
std::unique_ptr<BiffWorkbook> workbookWithReferences()
{
    B b;
    for (const char *name : {"Data", "Q1 2024", "It's", "Sheet3"})
        b.sheets.append(B::Sheet{QString::fromLatin1(name), 0, 0, 0x0010, QByteArray()});
    b.globals += B::record(0x01AE, B::u16(4) + B::u16(0x0401));
    b.globals +=
        B::record(0x01AE, B::u16(1) + B::u16(9) + B::u8(0) + "Other.xls" + B::string("Other", 2));
    b.globals += B::record(0x01AE, B::u16(1) + B::u16(0x3A01));
    b.globals += B::record(0x0023, B::u16(0) + B::u32(0) + B::string("YEARFRAC", 1));
    QByteArray xti = B::u16(7);
    for (const auto &x : QVector<QVector<int>>{{0, 0, 0},
                                               {0, 1, 1},
                                               {0, 2, 2},
                                               {0, 0, 3},
                                               {1, 0, 0},
                                               {2, 0xFFFE, 0xFFFE},
                                               {0, 0xFFFF, 0xFFFF}})
        xti += B::u16(x[0]) + B::u16(x[1]) + B::u16(x[2]);
    b.globals += B::record(0x0017, xti);
    b.globals += nameRecord("Rate", -1);
    b.globals += nameRecord("Rate", 1);
    b.globals += nameRecord("Total", -1);
    QString why;
    auto wb = BiffWorkbook::read(b.build(), &why);
    if (!wb)
        qWarning("%s", qPrintable(why));
    return wb;
}

} // namespace

class FormulaCompilerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<BiffWorkbook> m_wb;

    QString compiled(const QString &text, Kind kind = Kind::Cell, int sheet = 0)
    {
        FormulaCompiler::Options o;
        o.kind = kind;
        o.sheet = sheet;
        FormulaCompiler::Output out;
        QString why;
        if (!FormulaCompiler::compile(text, *m_wb, o, &out, &why))
            return "refused: " + why;
        return QString::fromLatin1(out.tokens.toHex(' '));
    }

private slots:
    void initTestCase()
    {
        m_wb = workbookWithReferences();
        QVERIFY(m_wb);
    }

    // Exact tokens, each row one rule: operator precedence and associativity, integers and
    // other numbers, fixed and variable arity, the token classes of arguments and results,
    // the attributes Excel adds (tAttrSum, tAttrSemi, tAttrIf, tAttrGoto), spaces.
    void tokens_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hex");
        // Precedence: * before +, & before =, ^ left to right, minus before ^, % before *.
        QTest::newRow("product first") << "1+2*3"
                                       << "1e 01 00 1e 02 00 1e 03 00 05 03";
        QTest::newRow("parentheses kept") << "(1+2)*3"
                                          << "1e 01 00 1e 02 00 03 15 1e 03 00 05";
        QTest::newRow("power left to right") << "2^3^2"
                                             << "1e 02 00 1e 03 00 07 1e 02 00 07";
        QTest::newRow("negation before power") << "-A1^2"
                                               << "44 00 00 00 c0 13 1e 02 00 07";
        QTest::newRow("concatenation before comparison") << "1&2<=3"
                                                         << "1e 01 00 1e 02 00 08 1e 03 00 0a";
        QTest::newRow("percent") << "5%*2"
                                 << "1e 05 00 14 1e 02 00 05";
        QTest::newRow("not equal") << "A1<>\"x\""
                                   << "44 00 00 00 c0 17 01 00 78 0e";
        // Numbers: tInt only for 0..65535; a minus sign before a number is a negative number.
        QTest::newRow("largest tInt") << "65535"
                                      << "1e ff ff";
        QTest::newRow("beyond tInt") << "65536"
                                     << "1f 00 00 00 00 00 00 f0 40";
        QTest::newRow("fraction") << "0.5"
                                  << "1f 00 00 00 00 00 00 e0 3f";
        QTest::newRow("negative") << "-1"
                                  << "1f 00 00 00 00 00 00 f0 bf";
        // Functions: fixed arity stores no count, one-argument SUM is tAttrSum.
        QTest::newRow("fixed arity") << "ROUND(A1,2)"
                                     << "44 00 00 00 c0 1e 02 00 41 1b 00";
        QTest::newRow("no arguments") << "PI()"
                                      << "41 13 00";
        QTest::newRow("variable arity") << "SUM(A1,B1)"
                                        << "24 00 00 00 c0 24 00 00 01 c0 42 02 04 00";
        QTest::newRow("sum of one") << "SUM(A1:A3)"
                                    << "25 00 00 02 00 00 c0 00 c0 19 10 00 00";
        QTest::newRow("volatile") << "NOW()"
                                  << "19 01 00 00 41 4a 00";
        QTest::newRow("names case-insensitive") << "abs(a1)"
                                                << "44 00 00 00 c0 41 18 00";
        // Classes: references where a function takes them, values where it computes,
        // arrays where it takes arrays; a reference-returning function used as a value.
        QTest::newRow("reference argument") << "ROWS(A1:B2)"
                                            << "25 00 00 01 00 00 c0 01 c0 41 4c 00";
        QTest::newRow("value operand") << "A1:A2+1"
                                       << "45 00 00 01 00 00 c0 00 c0 1e 01 00 03";
        QTest::newRow("array arguments")
            << "SUMPRODUCT(A1:A3,B1:B3)"
            << "65 00 00 02 00 00 c0 00 c0 65 00 00 02 00 01 c0 01 c0 42 02 e4 00";
        QTest::newRow("reference result as value")
            << "INDEX(A1:B2,1,1)"
            << "25 00 00 01 00 00 c0 01 c0 1e 01 00 1e 01 00 42 03 1d 00";
        // IF jumps: tAttrIf past the true branch, tAttrGoto to after the call (minus one).
        QTest::newRow("if") << "IF(A1,1,2)"
                            << "44 00 00 00 c0 19 02 07 00 1e 01 00 19 08 0a 00 1e 02 00 19 08 "
                               "03 00 42 03 01 00";
        QTest::newRow("if with a missing argument")
            << "IF(A1,,1)"
            << "44 00 00 00 c0 19 02 05 00 16 19 08 0a 00 1e 01 00 19 08 03 00 42 03 01 00";
        QTest::newRow("choose")
            << "CHOOSE(2,\"a\",\"b\")"
            << "1e 02 00 19 04 02 00 06 00 0e 00 16 00 17 01 00 61 19 08 0b 00 17 01 00 62 19 "
               "08 03 00 42 03 64 00";
        // References: relative and absolute parts, whole columns and rows.
        QTest::newRow("absolute") << "$B$3"
                                  << "44 02 00 01 00";
        QTest::newRow("mixed") << "B$3"
                               << "44 02 00 01 40";
        QTest::newRow("whole columns") << "SUM(A:B)"
                                       << "25 00 00 ff ff 00 40 01 40 19 10 00 00";
        QTest::newRow("whole rows") << "SUM($2:3)"
                                    << "25 01 00 02 00 00 00 ff 80 19 10 00 00";
        QTest::newRow("last cell") << "IV65536"
                                   << "44 ff ff ff c0";
        // Other sheets through their EXTERNSHEET entries, quoted as the formula bar quotes.
        QTest::newRow("3-D") << "Data!A1"
                             << "5a 00 00 00 00 00 c0";
        QTest::newRow("quoted sheet") << "'Q1 2024'!$A$1"
                                      << "5a 01 00 00 00 00 00";
        QTest::newRow("quote in sheet name") << "'It''s'!A1"
                                             << "5a 02 00 00 00 00 c0";
        QTest::newRow("sheet range") << "SUM(Data:Sheet3!A1:B2)"
                                     << "3b 03 00 00 00 01 00 00 c0 01 c0 19 10 00 00";
        QTest::newRow("external workbook") << "[1]Other!A1"
                                           << "5a 04 00 00 00 00 c0";
        QTest::newRow("deleted sheet") << "#REF!A1"
                                       << "5a 06 00 00 00 00 c0";
        // Names: the sheet's own before the workbook's; add-in functions through index 255.
        QTest::newRow("workbook name") << "Total*2"
                                       << "43 03 00 00 00 1e 02 00 05";
        QTest::newRow("add-in function")
            << "YEARFRAC(A1,B1)"
            << "39 05 00 01 00 00 00 24 00 00 00 c0 24 00 00 01 c0 42 03 ff 00";
        // Constants.
        QTest::newRow("string quotes") << "\"a\"\"b\""
                                       << "17 03 00 61 22 62";
        QTest::newRow("wide string") << QString::fromUtf8("\"€\"") << "17 01 01 ac 20";
        QTest::newRow("boolean and error") << "IF(TRUE,#N/A)"
                                           << "1d 01 19 02 06 00 1c 2a 19 08 03 00 42 02 01 00";
        QTest::newRow("array constant") << "SUM({1,2})"
                                        << "60 00 00 00 00 00 00 00 19 10 00 00";
        // Spaces and line breaks where the formula bar shows them.
        QTest::newRow("spaces around an operator")
            << "A1 + B1"
            << "44 00 00 00 c0 19 40 00 01 44 00 00 01 c0 19 40 00 01 03";
        QTest::newRow("space before a closing parenthesis")
            << "SUM(A1:A2 )"
            << "25 00 00 01 00 00 c0 00 c0 19 40 04 01 19 10 00 00";
        QTest::newRow("leading equals sign") << "=1"
                                             << "1e 01 00";
        QTest::newRow("line break") << "1+\n2"
                                    << "1e 01 00 19 40 01 01 1e 02 00 03";
    }

    void tokens()
    {
        QFETCH(QString, text);
        QFETCH(QString, hex);
        QCOMPARE(compiled(text), hex);
    }

    void sheetLevelNamesWin()
    {
        QCOMPARE(compiled("Rate", Kind::Cell, 0), QString("43 01 00 00 00"));
        QCOMPARE(compiled("Rate", Kind::Cell, 1), QString("43 02 00 00 00"));
    }

    // Where the formula is stored decides the class at the top: an array formula takes
    // arrays below a value function, a name holds references.
    void formulaKinds()
    {
        QCOMPARE(compiled("SIN(A1:A3)", Kind::Array),
                 QString("45 00 00 02 00 00 c0 00 c0 41 0f 00"));
        QCOMPARE(compiled("SUM(A1:A3*2)", Kind::Array),
                 QString("65 00 00 02 00 00 c0 00 c0 1e 02 00 05 19 10 00 00"));
        QCOMPARE(compiled("SUM(A1:A3*2)", Kind::Cell),
                 QString("45 00 00 02 00 00 c0 00 c0 1e 02 00 05 19 10 00 00"));
        QCOMPARE(compiled("Data!$A$1:$B$2", Kind::Name),
                 QString("3b 00 00 00 00 01 00 00 00 01 00"));
    }

    // Text that does not compile, or that Excel would not store, is refused with a reason and
    // leaves the output as it was.
    void refusals_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("operator without operand") << "1+"
                                                  << "ends where an operand is due";
        QTest::newRow("unclosed parenthesis") << "(1+2"
                                              << "without its closing one";
        QTest::newRow("unclosed call") << "SUM(1"
                                       << "without its closing parenthesis";
        QTest::newRow("unclosed string") << "\"abc"
                                         << "without its closing quote";
        QTest::newRow("stray parenthesis") << "1)"
                                           << "unexpected";
        QTest::newRow("too few arguments") << "ROUND(1)"
                                           << "takes 2 to 2 arguments, not 1";
        QTest::newRow("too many arguments") << "ABS(1,2)"
                                            << "takes 1 to 1 arguments, not 2";
        QTest::newRow("unknown function") << "NOSUCH(1)"
                                          << "unknown function NOSUCH";
        QTest::newRow("unknown name") << "Nowhere+1"
                                      << "no defined name Nowhere";
        QTest::newRow("unknown sheet") << "Nowhere!A1"
                                       << "no sheet named Nowhere";
        QTest::newRow("sheet without an entry") << "Sheet3!A1"
                                                << "no EXTERNSHEET entry";
        QTest::newRow("column beyond IV") << "IW1+1"
                                          << "no defined name IW1";
        QTest::newRow("row beyond 65536") << "A65537+1"
                                          << "no defined name A65537";
        QTest::newRow("ragged array") << "{1,2;3}"
                                      << "differ in length";
        QTest::newRow("reference in an array") << "{A1}"
                                               << "only numbers";
        QTest::newRow("string of 256") << "\"" + QString(256, 'x') + "\""
                                       << "at most 255";
        QTest::newRow("unknown error") << "#OOPS!"
                                       << "unknown error constant";
        QTest::newRow("deep nesting")
            << QString(300, '(') + "1" + QString(300, ')') << "nests more than";
        QTest::newRow("long chain") << "1" + QString("+1").repeated(1500) << "nests more than";
        QTest::newRow("tab") << "1+\t2"
                             << "tab";
        QTest::newRow("union outside parentheses") << "SUM(A1),B1"
                                                   << "unexpected";
        QTest::newRow("empty") << ""
                               << "ends where an operand is due";
        QTest::newRow("range of a number") << "SUM(1:A1)"
                                           << "joins references only";
        QTest::newRow("union of a value") << "SUM((A1,2))"
                                          << "joins references only";
    }

    void refusals()
    {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        FormulaCompiler::Output out;
        out.tokens = "kept";
        QString why;
        QVERIFY(!FormulaCompiler::compile(text, *m_wb, &out, &why));
        QVERIFY2(why.contains(reason), qPrintable(why));
        QCOMPARE(out.tokens, QByteArray("kept"));
    }

    // Cut anywhere, or with a character dropped, a formula compiles or is refused with a
    // reason: never a crash, never silence.
    void damagedTextHasAnOutcome()
    {
        const QStringList formulas = {
            "IF(AND(A1>0,'Q1 2024'!B$2<>\"a\"\"b\"),{1,-2;\"x\",#N/A},[1]Other!A1:B2)",
            "SUM((Data:Sheet3!A:A,$1:$2))*-5%^2&YEARFRAC(A1,B1)", "CHOOSE(2, Total ,#REF!A1)"};
        int refused = 0;
        for (const QString &f : formulas) {
            for (int cut = 0; cut <= f.size(); ++cut) {
                for (const QString &text : {f.left(cut), QString(f).remove(cut, 1)}) {
                    FormulaCompiler::Output out;
                    QString why;
                    if (!FormulaCompiler::compile(text, *m_wb, &out, &why)) {
                        ++refused;
                        QVERIFY2(!why.isEmpty(), qPrintable(text));
                    }
                }
            }
        }
        QVERIFY(refused > 100);
        // And text made of the formula grammar's characters at random.
        QRandomGenerator random(11);
        const QString alphabet = QStringLiteral("AB1$:!'\"(),;{}+-*/^&%<>= #.E[]R\n");
        for (int i = 0; i < 20000; ++i) {
            QString text;
            const int length = int(random.bounded(1, 24));
            for (int c = 0; c < length; ++c)
                text += alphabet.at(int(random.bounded(alphabet.size())));
            FormulaCompiler::Output out;
            QString why;
            QVERIFY2(FormulaCompiler::compile(text, *m_wb, &out, &why) || !why.isEmpty(),
                     qPrintable(text));
        }
    }

    void stringOf255Compiles()
    {
        const QString s(255, u'é');
        QVERIFY(compiled("\"" + s + "\"").startsWith("17 ff 00 e9"));
    }

    // Text the decompiler shows compiles back to tokens that show as the same text.
    void decompiledTextComesBack_data()
    {
        QTest::addColumn<QString>("text");
        for (const char *t :
             {"IF(AND(A1>0,B1<>\"\"),VLOOKUP(A1,Data!$A$1:$C$9,3,FALSE),\"-\")",
              "SUM((A1:A3,C1:C3))", "A1:B2 B2:C3", "-(-A1)%", "'It''s'!A1&\" \"&'Q1 2024'!B2",
              "{1,-2.5;\"a\",TRUE}", "ROUND(1E+20*A1,-2)", "CHOOSE(A1,1,2,3)+IF(A1,2)",
              "SUM( A1, B1 )", "OFFSET($A$1,1,1)", "COUNTIF(A:A,\">\"&B1)", "#DIV/0!",
              "YEARFRAC(A1,B1,1)", "SUM(Data:Sheet3!A1)", "Total+Rate"}) {
            QTest::newRow(t) << QString::fromUtf8(t);
        }
    }

    void decompiledTextComesBack()
    {
        QFETCH(QString, text);
        FormulaCompiler::Output out;
        QString why;
        QVERIFY2(FormulaCompiler::compile(text, *m_wb, &out, &why), qPrintable(why));
        FormulaDecompiler::Input in;
        in.tokens = out.tokens;
        in.extra = out.extra;
        QString back;
        QVERIFY2(FormulaDecompiler::decompile(in, *m_wb, &back, &why), qPrintable(why));
        QCOMPARE(back, text);
        // And the stored tokens survive the round trip a caller checks before a rewrite.
        FormulaCompiler::Stored stored;
        stored.tokens = out.tokens;
        stored.extra = out.extra;
        QVERIFY2(FormulaCompiler::roundTrips(stored, *m_wb, *m_wb, &why), qPrintable(why));
    }

    // Every function of the table compiles with its fewest and most arguments, and shows
    // back as written: fixed and variable arity agree between compiler and decompiler.
    void everyFunctionCompilesAndShowsBack()
    {
        int functions = 0;
        for (int index = 0; index < 400; ++index) {
            const auto *f = workbook::biff::FunctionTable::find(quint16(index));
            if (!f)
                continue;
            ++functions;
            for (int argc : {int(f->minArgs), int(f->maxArgs)}) {
                QStringList args;
                for (int i = 0; i < argc; ++i)
                    args << QString::number(i + 1);
                const QString text = QLatin1String(f->name) + '(' + args.join(',') + ')';
                FormulaCompiler::Output out;
                QString why;
                QVERIFY2(FormulaCompiler::compile(text, *m_wb, &out, &why),
                         qPrintable(text + ": " + why));
                FormulaDecompiler::Input in;
                in.tokens = out.tokens;
                QString back;
                QVERIFY2(FormulaDecompiler::decompile(in, *m_wb, &back, &why),
                         qPrintable(text + ": " + why));
                QCOMPARE(back, text);
            }
        }
        QVERIFY(functions > 250);
    }

    // The function table against xlwt's, an independent one (python3-xlwt): the same name,
    // argument counts and classes for every index both know. xlwt's "D" (a reference, or a
    // value for a single cell) is our "R", as Excel stores SUM(A1) with tRef. Differences
    // are Excel's: FIXED takes one to three arguments.
    void functionTableAgreesWithXlwt()
    {
        QProcess p;
        p.start("/usr/bin/python3", {"-c", "from xlwt.ExcelMagic import all_funcs_by_name as f\n"
                                           "for k, v in f.items():\n"
                                           "    print(k, *v) if v[0] >= 0 else None"});
        QVERIFY(p.waitForFinished(30000));
        if (p.exitCode() != 0)
            QSKIP("python3-xlwt is not installed");
        int compared = 0;
        for (const QString &line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
            const QStringList v = line.split(' ');
            if (v.size() != 6)
                continue;
            const QString name = v[0];
            const auto *f = workbook::biff::FunctionTable::find(quint16(v[1].toInt()));
            QVERIFY2(f, qPrintable(name));
            QCOMPARE(QString::fromLatin1(f->name), name);
            QCOMPARE(int(f->maxArgs), v[3].toInt());
            QCOMPARE(int(f->minArgs), name == "FIXED" ? 1 : v[2].toInt());
            QCOMPARE(QString(QChar(f->resultClass)), v[4]);
            QString classes = v[5];
            classes.replace('D', 'R').remove('+');
            for (int i = 0; i < f->maxArgs; ++i) {
                const QChar expected =
                    classes == "-" ? QChar('V') : classes.at(qMin(i, int(classes.size()) - 1));
                QVERIFY2(f->argumentClass(i) == expected.toLatin1(),
                         qPrintable(QStringLiteral("%1 argument %2").arg(name).arg(i + 1)));
            }
            ++compared;
        }
        QVERIFY(compared > 240);
    }

    // A shared formula compares as the cell formula it stands for at its cell; tokens that
    // do not come back the same are reported.
    void roundTripsChecksSharedAndRefuses()
    {
        FormulaCompiler::Stored shared;
        // tRefN one row up, same column, as SHRFMLA stores A1 for the cell A2; plus 1.
        shared.tokens =
            B::u8(0x4C) + B::u16(0xFFFF) + B::u16(0xC000) + B::u8(0x1E) + B::u16(1) + B::u8(0x03);
        shared.row = 1;
        shared.shared = true;
        QString why;
        QVERIFY2(FormulaCompiler::roundTrips(shared, *m_wb, *m_wb, &why), qPrintable(why));
        QByteArray cell;
        QVERIFY(FormulaCompiler::sharedAsCell(shared.tokens, 1, 0, &cell));
        QCOMPARE(cell.toHex(' '), QByteArray("44 00 00 00 c0 1e 01 00 03"));

        // A tNum holding an integer (another writer's) shows as the integer, which is tInt.
        FormulaCompiler::Stored other;
        other.tokens = B::u8(0x1F) + B::f64(2);
        QVERIFY(!FormulaCompiler::roundTrips(other, *m_wb, *m_wb, &why));
        QVERIFY2(why.contains("other tokens"), qPrintable(why));
        // Tokens that do not decompile say why.
        other.tokens = B::u8(0x03);
        QVERIFY(!FormulaCompiler::roundTrips(other, *m_wb, *m_wb, &why));
        QVERIFY(!why.isEmpty());
    }
};

QTEST_GUILESS_MAIN(FormulaCompilerTest)
#include "formulacompilertest.moc"
