#include "tests/workbook/support/testworkbook.h"
#include "workbook/application.h"
#include "workbook/sheet.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

#include <QtTest>

using workbook::Application;
using workbook::Workbook;

// Renaming a sheet: the rules, and every reference to the old name rewritten.
class SheetRenameTest : public QObject
{
    Q_OBJECT

private:
    Application m_app;

    static TestWorkbook twoSheets()
    {
        TestWorkbook t;
        t.addSheet("Data", TestWorkbook::worksheet(
                               "<row r=\"1\"><c r=\"A1\"><v>1</v></c>"
                               "<c r=\"B1\"><f>Data!A1+'Data'!A1</f><v>2</v></c></row>",
                               "<conditionalFormatting sqref=\"A1\"><cfRule type=\"expression\" "
                               "priority=\"1\"><formula>Data!$A$1&gt;0</formula></cfRule>"
                               "</conditionalFormatting>"
                               "<dataValidations count=\"1\"><dataValidation type=\"list\" "
                               "sqref=\"C1\"><formula1>Data!$A$1:$A$3</formula1>"
                               "</dataValidation></dataValidations>"
                               "<hyperlinks><hyperlink ref=\"D1\" location=\"Data!A1\"/>"
                               "</hyperlinks>"));
        t.addSheet("Report", TestWorkbook::worksheet(
                                 "<row r=\"1\"><c r=\"A1\" t=\"str\"><f>\"Data!A1\"&amp;Data!A1</f>"
                                 "<v>x</v></c><c r=\"A2\"><f>[1]Data!A1</f><v>0</v></c>"
                                 "<c r=\"A3\"><f t=\"array\" ref=\"A3\">SUM(Data!A1:A2)</f>"
                                 "<v>0</v></c><c r=\"A4\"><f>SUM(Data:Report!A1)</f><v>0</v></c>"
                                 "</row>"));
        t.workbookBody = "<definedNames><definedName name=\"_xlnm.Print_Area\" localSheetId=\"0\">"
                         "Data!$A$1:$B$2</definedName><definedName name=\"Other\">Report!$A$1"
                         "</definedName></definedNames>";
        t.extraParts.insert("/xl/charts/chart1.xml",
                            "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/"
                            "2006/chart\"><c:chart><c:plotArea><c:barChart><c:ser><c:val>"
                            "<c:numRef><c:f>Data!$A$1:$A$3</c:f></c:numRef></c:val></c:ser>"
                            "</c:barChart></c:plotArea></c:chart></c:chartSpace>");
        t.extraParts.insert("/xl/pivotCache/pivotCacheDefinition1.xml",
                            "<pivotCacheDefinition xmlns=\"http://schemas.openxmlformats.org/"
                            "spreadsheetml/2006/main\"><cacheSource type=\"worksheet\">"
                            "<worksheetSource ref=\"A1:B3\" sheet=\"data\"/></cacheSource>"
                            "</pivotCacheDefinition>");
        t.appXml = "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                   "extended-properties\" xmlns:vt=\"http://schemas.openxmlformats.org/"
                   "officeDocument/2006/docPropsVTypes\"><TitlesOfParts><vt:vector size=\"3\" "
                   "baseType=\"lpstr\"><vt:lpstr>Data</vt:lpstr><vt:lpstr>Report</vt:lpstr>"
                   "<vt:lpstr>Data!Print_Area</vt:lpstr></vt:vector></TitlesOfParts></Properties>";
        return t;
    }

    static QByteArray part(Workbook *wb, const QString &name)
    {
        return ZipContents::entryFromBytes(wb->savedBytes(), name);
    }

private slots:
    void renameRewritesEveryReferenceToTheOldName()
    {
        const TestWorkbook t = twoSheets();
        Workbook *wb = m_app.OpenFromMemory(t.build());
        QString reason;
        QVERIFY2(wb->Item(1)->SetName("Q1 2024", &reason), qPrintable(reason));
        QCOMPARE(wb->Item(1)->Name(), QString("Q1 2024"));
        QVERIFY(wb->Save(&reason));

        const QByteArray data = part(wb, "xl/worksheets/sheet1.xml");
        QVERIFY(data.contains("<f>'Q1 2024'!A1+'Q1 2024'!A1</f>"));
        QVERIFY(data.contains("<formula>'Q1 2024'!$A$1&gt;0</formula>"));
        QVERIFY(data.contains("<formula1>'Q1 2024'!$A$1:$A$3</formula1>"));
        QVERIFY(data.contains("location=\"'Q1 2024'!A1\""));
        const QByteArray report = part(wb, "xl/worksheets/sheet2.xml");
        // String literals and other workbooks stay; array and 3-D references follow.
        QVERIFY(report.contains("<f>\"Data!A1\"&amp;'Q1 2024'!A1</f>"));
        QVERIFY(report.contains("<f>[1]Data!A1</f>"));
        QVERIFY(report.contains("<f t=\"array\" ref=\"A3\">SUM('Q1 2024'!A1:A2)</f>"));
        QVERIFY(report.contains("<f>SUM('Q1 2024:Report'!A1)</f>"));
        const QByteArray book = part(wb, "xl/workbook.xml");
        QVERIFY(book.contains("<sheet name=\"Q1 2024\" sheetId=\"1\""));
        QVERIFY(book.contains(">'Q1 2024'!$A$1:$B$2</definedName>"));
        QVERIFY(book.contains(">Report!$A$1</definedName>"));
        QVERIFY(part(wb, "xl/charts/chart1.xml").contains("<c:f>'Q1 2024'!$A$1:$A$3</c:f>"));
        QVERIFY(part(wb, "xl/pivotCache/pivotCacheDefinition1.xml").contains("sheet=\"Q1 2024\""));
        const QByteArray app = part(wb, "docProps/app.xml");
        QVERIFY(app.contains("<vt:lpstr>Q1 2024</vt:lpstr><vt:lpstr>Report</vt:lpstr>"
                             "<vt:lpstr>'Q1 2024'!Print_Area</vt:lpstr>"));
        QCOMPARE(part(wb, "xl/styles.xml"), TestWorkbook::defaultStyles());
    }

    void renameQuotesANameWithAQuote()
    {
        Workbook *wb = m_app.OpenFromMemory(twoSheets().build());
        QVERIFY(wb->Item(1)->SetName("It's"));
        QVERIFY(wb->Save());
        QVERIFY(part(wb, "xl/worksheets/sheet1.xml").contains("<f>'It''s'!A1+'It''s'!A1</f>"));
        QVERIFY(part(wb, "xl/workbook.xml").contains("<sheet name=\"It's\""));
    }

    void refusedNameLeavesTheWorkbookAsItWas_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << "";
        QTest::newRow("32 characters") << QString(32, 'a');
        QTest::newRow("colon") << "a:b";
        QTest::newRow("bracket") << "a[1]";
        QTest::newRow("leading quote") << "'a";
        QTest::newRow("History in any case") << "hISTORY";
        QTest::newRow("another sheet, other case") << "REPORT";
    }
    void refusedNameLeavesTheWorkbookAsItWas()
    {
        QFETCH(QString, name);
        Workbook *wb = m_app.OpenFromMemory(twoSheets().build());
        QString reason;
        QVERIFY(!wb->Item(1)->SetName(name, &reason));
        QVERIFY(!reason.isEmpty());
        QCOMPARE(wb->Item(1)->Name(), QString("Data"));
        QVERIFY(!wb->isModified());
    }

    void ownNameInOtherCaseIsAllowed()
    {
        Workbook *wb = m_app.OpenFromMemory(twoSheets().build());
        QVERIFY(wb->Item(1)->SetName("DATA"));
        QCOMPARE(wb->Item(1)->Name(), QString("DATA"));
        QVERIFY(wb->Item(1)->SetName("DATA"));
        QVERIFY(wb->Item(2)->usedRange()->Find("=SUM(DATA:Report!A1)"));
    }

    void renameOfAChartSheetChangesItsTitle()
    {
        TestWorkbook t = twoSheets();
        t.addSheet("Chart1",
                   "<chartsheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
                   "2006/main\"/>",
                   "chartsheet");
        Workbook *wb = m_app.OpenFromMemory(t.build());
        QVERIFY(wb->Item(3)->SetName("Chart Two"));
        QCOMPARE(wb->Item(3)->Name(), QString("Chart Two"));
    }
};

QTEST_GUILESS_MAIN(SheetRenameTest)
#include "sheetrenametest.moc"
