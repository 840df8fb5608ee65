#include "tests/workbook/support/testworkbook.h"
#include "workbook/application.h"
#include "workbook/sheet.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

#include <QtTest>

using workbook::Application;
using workbook::Workbook;

// Find and Replace through the object model, on workbooks the tests build; what was written
// is read back from the saved package.
class FindReplaceTest : public QObject
{
    Q_OBJECT

private:
    Application m_app;

    Workbook *open(const TestWorkbook &t)
    {
        QString reason;
        Workbook *wb = m_app.OpenFromMemory(t.build(), &reason);
        if (!wb)
            qWarning() << reason;
        return wb;
    }
    static QByteArray saved(Workbook *wb, const QString &part)
    {
        QString reason;
        if (!wb->Save(&reason))
            qWarning() << reason;
        return ZipContents::entryFromBytes(wb->savedBytes(), part);
    }
    static TestWorkbook oneSheet(const QByteArray &sheetData, const QStringList &strings = {},
                                 const QByteArray &after = {})
    {
        TestWorkbook t;
        t.addSheet("Sheet1", TestWorkbook::worksheet(sheetData, after));
        t.sharedStrings = strings;
        return t;
    }

private slots:
    void findSeesTheFormulaBarTextOfEveryKindOfCell_data()
    {
        QTest::addColumn<QByteArray>("cell");
        QTest::addColumn<QString>("hit");
        QTest::addColumn<QString>("miss");
        QTest::newRow("shared string") << QByteArray("<c r=\"A1\" t=\"s\"><v>0</v></c>") << "ALP"
                                       << "zeta";
        QTest::newRow("inline rich text joined, phonetic left out")
            << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><r><rPr><b/></rPr><t>Hel</t></r>"
                          "<r><t>lo</t></r><rPh sb=\"0\" eb=\"1\"><t>KANA</t></rPh></is></c>")
            << "hello"
            << "kana";
        QTest::newRow("number, 15 digits")
            << QByteArray("<c r=\"A1\"><v>0.1000000000000000055</v></c>") << "0.1"
            << "55";
        QTest::newRow("large number")
            << QByteArray("<c r=\"A1\"><v>1234567890123456789</v></c>") << "1.23456789012346E+18"
            << "89012345";
        QTest::newRow("percent") << QByteArray("<c r=\"A1\" s=\"1\"><v>0.25</v></c>") << "25%"
                                 << "0.25";
        QTest::newRow("date") << QByteArray("<c r=\"A1\" s=\"2\"><v>45000</v></c>") << "2023/3/15"
                              << "45000";
        QTest::newRow("custom date format")
            << QByteArray("<c r=\"A1\" s=\"5\"><v>45000.5</v></c>") << "2023/3/15 12:00:00"
            << "45000";
        QTest::newRow("time") << QByteArray("<c r=\"A1\" s=\"3\"><v>0.75</v></c>") << "18:00:00"
                              << "0.75";
        QTest::newRow("boolean") << QByteArray("<c r=\"A1\" t=\"b\"><v>1</v></c>") << "true"
                                 << "1";
        QTest::newRow("error") << QByteArray("<c r=\"A1\" t=\"e\"><v>#N/A</v></c>") << "#n/a"
                               << "zeta";
        QTest::newRow("formula, not its cached value")
            << QByteArray("<c r=\"A1\"><f>SUM(B1:B2)</f><v>42</v></c>") << "=sum(b1"
            << "42";
        QTest::newRow("shared formula child shifted")
            << QByteArray("<c r=\"A1\"><f t=\"shared\" ref=\"A1:A3\" si=\"0\">B1*2</f><v>2</v></c>"
                          "</row><row r=\"3\"><c r=\"A3\"><f t=\"shared\" si=\"0\"/><v>6</v></c>")
            << "=B3*2"
            << "=B2*2";
        QTest::newRow("escaped character")
            << QByteArray("<c r=\"A1\" t=\"s\"><v>1</v></c>") << "x\ty"
            << "_x0009_";
    }
    void findSeesTheFormulaBarTextOfEveryKindOfCell()
    {
        QFETCH(QByteArray, cell);
        QFETCH(QString, hit);
        QFETCH(QString, miss);
        TestWorkbook t = oneSheet("<row r=\"1\">" + cell + "</row>", {"alpha"});
        t.sharedStringsXml = "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
                             "main\"><si><t>alpha</t></si><si><t>x_x0009_y</t></si></sst>";
        Workbook *wb = open(t);
        QVERIFY(wb);
        workbook::UsedRange *range = wb->Item(1)->usedRange();
        QVERIFY(range->Find(hit));
        QVERIFY(!range->Find(miss));
    }

    void findTakesTheDateSystemIntoAccount()
    {
        TestWorkbook t = oneSheet("<row r=\"1\"><c r=\"A1\" s=\"2\"><v>0</v></c></row>");
        t.date1904 = true;
        Workbook *wb = open(t);
        QVERIFY(wb->Item(1)->usedRange()->Find("1904/1/1"));
    }

    void emptySearchTextMatchesAndReplacesNothing()
    {
        Workbook *wb = open(oneSheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>", {"a"}));
        QVERIFY(!wb->Item(1)->usedRange()->Find(QString()));
        QVERIFY(!wb->Item(1)->usedRange()->Replace(QString(), "x"));
        QVERIFY(!wb->isModified());
    }

    void replaceKeepsOrChangesTheCellTypeByTheRules_data()
    {
        QTest::addColumn<QByteArray>("cell");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("with");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("text that reads as a number stays text")
            << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>x00123</t></is></c>") << "x"
            << "" << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>00123</t></is></c>");
        QTest::newRow("number stays a number")
            << QByteArray("<c r=\"A1\" s=\"0\"><v>123</v></c>") << "2"
            << "5" << QByteArray("<c r=\"A1\" s=\"0\"><v>153</v></c>");
        QTest::newRow("number typed n, spaced, changes only its value")
            << QByteArray("<c r=\"A1\" t=\"n\"><v> 123 </v><extLst/></c>") << "2"
            << "5" << QByteArray("<c r=\"A1\" t=\"n\"><v>153</v><extLst/></c>");
        QTest::newRow("number becomes text")
            << QByteArray("<c r=\"A1\"><v>123</v></c>") << "2"
            << "x" << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>1x3</t></is></c>");
        QTest::newRow("percent stays percent")
            << QByteArray("<c r=\"A1\" s=\"1\"><v>0.25</v></c>") << "25"
            << "50" << QByteArray("<c r=\"A1\" s=\"1\"><v>0.5</v></c>");
        QTest::newRow("date stays a date")
            << QByteArray("<c r=\"A1\" s=\"2\"><v>45000</v></c>") << "2023"
            << "2024" << QByteArray("<c r=\"A1\" s=\"2\"><v>45366</v></c>");
        QTest::newRow("boolean stays boolean in any case")
            << QByteArray("<c r=\"A1\" t=\"b\"><v>1</v></c>") << "true"
            << "false" << QByteArray("<c r=\"A1\" t=\"b\"><v>0</v></c>");
        QTest::newRow("boolean becomes text")
            << QByteArray("<c r=\"A1\" t=\"b\"><v>1</v></c>") << "TRUE"
            << "yes" << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>yes</t></is></c>");
        QTest::newRow("formula keeps being a formula, cached value dropped")
            << QByteArray("<c r=\"A1\" t=\"str\"><f>UPPER(B1)</f><v>X</v></c>") << "upper"
            << "LOWER" << QByteArray("<c r=\"A1\"><f>LOWER(B1)</f></c>");
        QTest::newRow("formula without = becomes a constant")
            << QByteArray("<c r=\"A1\"><f>1+1</f><v>2</v></c>") << "=1+"
            << "" << QByteArray("<c r=\"A1\"><v>1</v></c>");
        QTest::newRow("unbalanced formula is left as it was")
            << QByteArray("<c r=\"A1\"><f>SUM(B1)</f><v>0</v></c>") << ")"
            << "" << QByteArray("<c r=\"A1\"><f>SUM(B1)</f><v>0</v></c>");
        QTest::newRow("formula left without an operand is left as it was")
            << QByteArray("<c r=\"A1\"><f>1+2</f><v>3</v></c>") << "2"
            << "" << QByteArray("<c r=\"A1\"><f>1+2</f><v>3</v></c>");
        QTest::newRow("empty result empties the cell, style kept")
            << QByteArray("<c r=\"A1\" s=\"4\" t=\"inlineStr\"><is><t>abc</t></is></c>") << "*"
            << "" << QByteArray("<c r=\"A1\" s=\"4\"/>");
        QTest::newRow("greedy star, case folded outside ASCII")
            << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>ΣΑΣ-x-ΣΑΣ-y</t></is></c>") << "σ*σ"
            << "Z" << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>Z-y</t></is></c>");
        QTest::newRow("white space kept")
            << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>a b</t></is></c>") << "a"
            << " "
            << QByteArray(
                   "<c r=\"A1\" t=\"inlineStr\"><is><t xml:space=\"preserve\">  b</t></is></c>");
        QTest::newRow("characters XML cannot hold are escaped")
            << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>a_x0001_b</t></is></c>") << "a"
            << "_x0041_"
            << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>_x005F_x0041__x0001_b</t></is></c>");
        QTest::newRow("escaped lone surrogates beside a match are kept as stored")
            << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>_xD800_ Foo _xDC00_</t></is></c>")
            << "Foo"
            << "Qux"
            << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>_xD800_ Qux _xDC00_</t></is></c>");
        QTest::newRow("text over 32767 characters is refused")
            << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>ab</t></is></c>") << "a"
            << QString(32767, 'x')
            << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>ab</t></is></c>");
    }
    void replaceKeepsOrChangesTheCellTypeByTheRules()
    {
        QFETCH(QByteArray, cell);
        QFETCH(QString, what);
        QFETCH(QString, with);
        QFETCH(QByteArray, expected);
        Workbook *wb = open(oneSheet("<row r=\"1\">" + cell + "</row>"));
        QVERIFY(wb);
        wb->Item(1)->usedRange()->Replace(what, with);
        const QByteArray xml = wb->isModified()
                                   ? saved(wb, "xl/worksheets/sheet1.xml")
                                   : TestWorkbook::worksheet("<row r=\"1\">" + cell + "</row>");
        QCOMPARE(xml, TestWorkbook::worksheet("<row r=\"1\">" + expected + "</row>"));
    }

    // Text outside a match keeps its exact stored bytes, or the cell is not changed at all.
    void replaceRefusesCellsItCouldNotWriteBackExactly_data()
    {
        QTest::addColumn<QByteArray>("cell");
        QTest::addColumn<QStringList>("strings");
        QTest::newRow("malformed UTF-8 beside a match")
            << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>\xC3\x28 Foo</t></is></c>")
            << QStringList();
        QTest::newRow("lower-case escape beside a match")
            << QByteArray("<c r=\"A1\" t=\"inlineStr\"><is><t>a_x000a_ Foo</t></is></c>")
            << QStringList();
        QTest::newRow("escape of a plain letter in a shared string")
            << QByteArray("<c r=\"A1\" t=\"s\"><v>0</v></c>") << QStringList{"_x0041_ Foo"};
    }
    void replaceRefusesCellsItCouldNotWriteBackExactly()
    {
        QFETCH(QByteArray, cell);
        QFETCH(QStringList, strings);
        Workbook *wb = open(oneSheet("<row r=\"1\">" + cell + "</row>", strings));
        QVERIFY(wb);
        workbook::Error error;
        QVERIFY(!wb->Item(1)->usedRange()->Replace("Foo", "Qux", &error));
        QCOMPARE(error.kind, workbook::Error::Kind::CannotChange);
        QVERIFY2(error.detail.startsWith("cell A1: "), qPrintable(error.detail));
        QVERIFY(!wb->isModified());
    }

    void replaceLeavesLockedCellsOfAProtectedSheetAlone()
    {
        TestWorkbook t =
            oneSheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Foo</t></is></c>"
                     "<c r=\"B1\" s=\"4\" t=\"inlineStr\"><is><t>Foo</t></is></c></row>",
                     {}, "<sheetProtection sheet=\"1\" objects=\"1\"/>");
        Workbook *wb = open(t);
        QVERIFY(wb->Item(1)->usedRange()->Replace("foo", "Bar"));
        QVERIFY(wb->Item(1)->usedRange()->Find("foo")); // still sees the locked cell
        const QByteArray xml = saved(wb, "xl/worksheets/sheet1.xml");
        QVERIFY(xml.contains("<c r=\"A1\" t=\"inlineStr\"><is><t>Foo</t></is></c>"));
        QVERIFY(xml.contains("<c r=\"B1\" s=\"4\" t=\"inlineStr\"><is><t>Bar</t></is></c>"));
    }

    void sharedStringChangesOnlyWhereEachCellWouldChange()
    {
        // "Foo" is used by two cells here, one on a protected sheet, one on a third sheet;
        // "Only" by one cell; replacing on sheet 1 must look as if each cell was edited.
        TestWorkbook t;
        t.sharedStrings = QStringList{"Foo", "Only Foo"};
        t.addSheet("One", TestWorkbook::worksheet(
                              "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
                              "<c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>0</v></c>"
                              "</row>"));
        t.addSheet("Locked",
                   TestWorkbook::worksheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>",
                                           "<sheetProtection sheet=\"1\"/>"));
        t.addSheet("Three",
                   TestWorkbook::worksheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"));
        Workbook *wb = open(t);
        QVERIFY(wb->Item(1)->usedRange()->Replace("foo", "Bar"));
        QVERIFY(!wb->Item(1)->usedRange()->Find("foo"));
        QVERIFY(wb->Item(2)->usedRange()->Find("foo"));
        QVERIFY(wb->Item(3)->usedRange()->Find("foo"));
        QVERIFY(!wb->Item(2)->usedRange()->Replace("foo", "Bar"));
        QVERIFY(wb->Item(3)->usedRange()->Replace("foo", "Baz"));
        QVERIFY(wb->Item(2)->usedRange()->Find("foo"));
        QVERIFY(wb->Item(3)->usedRange()->Find("baz"));

        QString reason;
        QVERIFY(wb->Save(&reason));
        const QByteArray bytes = wb->savedBytes();
        const QByteArray sst = ZipContents::entryFromBytes(bytes, "xl/sharedStrings.xml");
        // Used by one cell only: changed in place, that cell untouched.
        QVERIFY(sst.contains("<si><t>Only Bar</t></si>"));
        QVERIFY(sst.contains("<si><t xml:space=\"preserve\">Foo</t></si>"));
        const QByteArray one = ZipContents::entryFromBytes(bytes, "xl/worksheets/sheet1.xml");
        QVERIFY(one.contains("<c r=\"B1\" t=\"s\"><v>1</v></c>"));
        QVERIFY(one.contains("<c r=\"A1\" t=\"inlineStr\"><is><t>Bar</t></is></c>"));
        QVERIFY(one.contains("<c r=\"C1\" t=\"inlineStr\"><is><t>Bar</t></is></c>"));
        QCOMPARE(ZipContents::entryFromBytes(bytes, "xl/worksheets/sheet2.xml"), t.sheets[1].xml);
    }

    void sharedStringChangedAgainReadsAndSavesItsLastText()
    {
        // Longer, shorter, longer again: the changed item is found by its new text each time
        // and its neighbours keep theirs.
        TestWorkbook t = oneSheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
                                  "<c r=\"B1\" t=\"s\"><v>1</v></c>"
                                  "<c r=\"C1\" t=\"s\"><v>2</v></c></row>",
                                  {"alpha", "Foo", "omega"});
        Workbook *wb = open(t);
        QVERIFY(wb->Item(1)->usedRange()->Replace("foo", "Foolish"));
        QVERIFY(wb->Item(1)->usedRange()->Find("foolish"));
        QVERIFY(wb->Item(1)->usedRange()->Replace("foolish", "F"));
        QVERIFY(!wb->Item(1)->usedRange()->Find("foolish"));
        QVERIFY(wb->Item(1)->usedRange()->Replace("alpha", "a"));
        QVERIFY(wb->Item(1)->usedRange()->Replace("F", "Fine and long"));
        QVERIFY(wb->Item(1)->usedRange()->Find("fine and long"));
        QVERIFY(wb->Item(1)->usedRange()->Find("omega"));
        const QByteArray sst = saved(wb, "xl/sharedStrings.xml");
        QVERIFY2(sst.contains("<si><t>a</t></si><si><t>Fine and long</t></si>"
                              "<si><t xml:space=\"preserve\">omega</t></si>"),
                 sst.constData());
    }

    void richTextKeepsTheFormatOfTheRunWhereAMatchStarts()
    {
        TestWorkbook t = oneSheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>");
        t.sharedStringsXml =
            "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><si>"
            "<r><rPr><b/></rPr><t xml:space=\"preserve\">Hello </t></r>"
            "<r><rPr><i/></rPr><t>World</t></r><r><rPr><u/></rPr><t>!</t></r></si></sst>";
        Workbook *wb = open(t);
        QVERIFY(wb->Item(1)->usedRange()->Replace("lo wo", "p-w"));
        QCOMPARE(ZipContents::entryFromBytes(
                     saved(wb, "xl/sharedStrings.xml").isEmpty() ? QByteArray() : wb->savedBytes(),
                     "xl/sharedStrings.xml"),
                 QByteArray("<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
                            "main\"><si><r><rPr><b/></rPr><t>Help-w</t></r>"
                            "<r><rPr><i/></rPr><t>rld</t></r><r><rPr><u/></rPr><t>!</t></r></si>"
                            "</sst>"));
    }

    void changedMasterOfASharedFormulaLeavesItsOtherCellsTheirFormulas()
    {
        TestWorkbook t =
            oneSheet("<row r=\"1\"><c r=\"B1\"><f t=\"shared\" ref=\"B1:B3\" "
                     "si=\"0\">A1*2</f><v>2</v></c></row>"
                     "<row r=\"2\"><c r=\"B2\"><f t=\"shared\" si=\"0\"/><v>4</v></c></row>"
                     "<row r=\"3\"><c r=\"B3\"><f t=\"shared\" si=\"0\"/><v>6</v></c></row>");
        Workbook *wb = open(t);
        QVERIFY(wb->Item(1)->usedRange()->Replace("A1", "C1"));
        QVERIFY(wb->Item(1)->usedRange()->Find("=C1*2"));
        QVERIFY(wb->Item(1)->usedRange()->Find("=A2*2"));
        QVERIFY(wb->Item(1)->usedRange()->Find("=A3*2"));
        const QByteArray xml = saved(wb, "xl/worksheets/sheet1.xml");
        QVERIFY(xml.contains("<c r=\"B1\"><f>C1*2</f></c>"));
        QVERIFY(xml.contains("<c r=\"B2\"><f>A2*2</f><v>4</v></c>"));
    }

    void replaceAfterAMissedFindStillSeesLaterChanges()
    {
        TestWorkbook t;
        t.sharedStrings = QStringList{"one", "two"};
        t.addSheet("A",
                   TestWorkbook::worksheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"));
        t.addSheet("B",
                   TestWorkbook::worksheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c></row>"));
        Workbook *wb = open(t);
        workbook::UsedRange *a = wb->Item(1)->usedRange();
        QVERIFY(!a->Find("xyz"));
        QVERIFY(!a->Replace("xyz", "q"));
        QVERIFY(a->Replace("one", "xyz one"));
        QVERIFY(a->Find("xyz"));
        QVERIFY(!wb->Item(2)->usedRange()->Find("xyz"));
        QVERIFY(a->Replace("xyz", "w"));
        QVERIFY(a->Find("w one"));
    }

    void formulaChangeDropsTheCalculationChain()
    {
        TestWorkbook t = oneSheet("<row r=\"1\"><c r=\"A1\"><f>SUM(B1)</f><v>0</v></c>"
                                  "<c r=\"B1\" t=\"inlineStr\"><is><t>x</t></is></c></row>");
        t.calcChain = true;
        t.workbookBody = "<calcPr calcId=\"191029\"/>";
        Workbook *wb = open(t);
        QVERIFY(wb->Item(1)->usedRange()->Replace("x", "y"));
        QVERIFY(wb->Save());
        QVERIFY(!ZipContents::entryFromBytes(wb->savedBytes(), "xl/calcChain.xml").isEmpty());

        QVERIFY(wb->Item(1)->usedRange()->Replace("SUM", "MAX"));
        QVERIFY(wb->Save());
        const QByteArray bytes = wb->savedBytes();
        QVERIFY(ZipContents::entryFromBytes(bytes, "xl/calcChain.xml").isEmpty());
        QVERIFY(!ZipContents::entryFromBytes(bytes, "[Content_Types].xml").contains("calcChain"));
        QVERIFY(!ZipContents::entryFromBytes(bytes, "xl/_rels/workbook.xml.rels")
                     .contains("calcChain"));
        QVERIFY(ZipContents::entryFromBytes(bytes, "xl/workbook.xml")
                    .contains("<calcPr fullCalcOnLoad=\"1\" calcId=\"191029\"/>"));
    }

    void chartAndDialogSheetsHaveNoUsedRange()
    {
        TestWorkbook t = oneSheet("<row r=\"1\"/>");
        t.addSheet("Chart1",
                   "<chartsheet xmlns=\"http://schemas.openxmlformats.org/"
                   "spreadsheetml/2006/main\"><sheetViews/></chartsheet>",
                   "chartsheet", "hidden");
        t.addSheet("Dialog1",
                   "<dialogsheet xmlns=\"http://schemas.openxmlformats.org/"
                   "spreadsheetml/2006/main\"/>",
                   "dialogsheet", "veryHidden");
        t.addSheet("Macro1",
                   TestWorkbook::worksheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\">"
                                           "<is><t>m</t></is></c></row>"),
                   "macrosheet");
        Workbook *wb = open(t);
        QCOMPARE(wb->Count(), 4);
        QVERIFY(wb->Item(1)->usedRange());
        QVERIFY(!wb->Item(2)->usedRange());
        QVERIFY(!wb->Item(3)->usedRange());
        QCOMPARE(wb->Item(3)->visibility(), workbook::SheetVisibility::VeryHidden);
        QVERIFY(wb->Item(4)->usedRange()->Find("M"));
        QVERIFY(wb->Item(2)->pageSetup());
        QVERIFY(!wb->Item(5));
    }
};

QTEST_GUILESS_MAIN(FindReplaceTest)
#include "findreplacetest.moc"
