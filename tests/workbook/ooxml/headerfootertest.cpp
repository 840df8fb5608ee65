#include "tests/workbook/support/testworkbook.h"
#include "workbook/application.h"
#include "workbook/pagesetup.h"
#include "workbook/sheet.h"
#include "workbook/workbook.h"

#include <QtTest>

using workbook::Application;
using workbook::PageSetup;
using workbook::Workbook;

// The six header and footer sections as stored in sheet parts.
class HeaderFooterTest : public QObject
{
    Q_OBJECT

private:
    Application m_app;

    Workbook *open(const QByteArray &sheetXml, const QString &kind = "worksheet")
    {
        TestWorkbook t;
        t.addSheet("S", sheetXml, kind);
        return m_app.OpenFromMemory(t.build());
    }
    static QByteArray sheetPart(Workbook *wb, const char *name = "xl/worksheets/sheet1.xml")
    {
        return ZipContents::entryFromBytes(wb->savedBytes(), name);
    }

private slots:
    void sectionsAreReadVerbatim()
    {
        Workbook *wb = open(TestWorkbook::worksheet(
            {}, "<headerFooter><oddHeader>Pre&amp;L&amp;\"Arial,Bold\"L &amp;&amp; R&amp;R&amp;P"
                "</oddHeader><oddFooter>&amp;CPage &amp;P of &amp;N</oddFooter>"
                "<evenHeader>&amp;Leven</evenHeader></headerFooter>"));
        PageSetup *ps = wb->Item(1)->pageSetup();
        QCOMPARE(ps->LeftHeader(), QString("&\"Arial,Bold\"L && R"));
        QCOMPARE(ps->CenterHeader(), QString("Pre"));
        QCOMPARE(ps->RightHeader(), QString("&P"));
        QCOMPARE(ps->CenterFooter(), QString("Page &P of &N"));
        QCOMPARE(ps->LeftFooter(), QString());
    }

    void headerIsCreatedInItsSchemaPosition()
    {
        Workbook *wb = open(TestWorkbook::worksheet(
            "<row r=\"1\"/>",
            "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" "
            "header=\"0.3\" footer=\"0.3\"/><drawing r:id=\"rId1\"/>"));
        QVERIFY(wb->Item(1)->pageSetup()->SetCenterHeader("Page A"));
        QVERIFY(wb->Item(1)->pageSetup()->SetRightFooter("&P"));
        QVERIFY(wb->Save());
        QVERIFY(sheetPart(wb).contains(
            "footer=\"0.3\"/><headerFooter><oddHeader>&amp;CPage A</oddHeader>"
            "<oddFooter>&amp;R&amp;P</oddFooter></headerFooter><drawing r:id=\"rId1\"/>"));
        QCOMPARE(wb->Item(1)->pageSetup()->CenterHeader(), QString("Page A"));
    }

    void writingOneSectionKeepsTheOthers()
    {
        Workbook *wb = open(TestWorkbook::worksheet(
            {}, "<headerFooter differentFirst=\"1\"><oddHeader>&amp;LLeft&amp;RRight</oddHeader>"
                "<firstHeader>&amp;CFirst</firstHeader></headerFooter>"));
        QVERIFY(wb->Item(1)->pageSetup()->SetCenterHeader("Mid"));
        QVERIFY(wb->Save());
        QVERIFY(sheetPart(wb).contains("<headerFooter differentFirst=\"1\"><oddHeader>"
                                       "&amp;LLeft&amp;CMid&amp;RRight</oddHeader><firstHeader>"));
    }

    void clearingTheLastSectionRemovesTheHeader()
    {
        Workbook *wb = open(TestWorkbook::worksheet(
            {}, "<headerFooter><oddHeader>&amp;CX</oddHeader><oddFooter>&amp;LY</oddFooter>"
                "</headerFooter>"));
        QVERIFY(wb->Item(1)->pageSetup()->SetCenterHeader(QString()));
        QVERIFY(wb->Save());
        QVERIFY(
            sheetPart(wb).contains("<headerFooter><oddFooter>&amp;LY</oddFooter></headerFooter>"));
    }

    void writingTheSameTextChangesNothing()
    {
        Workbook *wb = open(TestWorkbook::worksheet({}, "<headerFooter><oddHeader>&amp;CX"
                                                        "</oddHeader></headerFooter>"));
        QVERIFY(wb->Item(1)->pageSetup()->SetCenterHeader("X"));
        QVERIFY(!wb->isModified());
    }

    void headerOver255CharactersIsRefused()
    {
        Workbook *wb = open(TestWorkbook::worksheet({}, "<headerFooter><oddHeader>&amp;LX"
                                                        "</oddHeader></headerFooter>"));
        QString reason;
        QVERIFY(!wb->Item(1)->pageSetup()->setSection(workbook::HeaderFooterSection::CenterHeader,
                                                      QString(252, 'a'), &reason));
        QVERIFY(!reason.isEmpty());
        QVERIFY(!wb->isModified());
        QVERIFY(wb->Item(1)->pageSetup()->SetCenterHeader(QString(250, 'a')));
    }

    void macroSheetHeaderTakesTheNamespaceOfItsSiblings()
    {
        Workbook *wb = open("<xm:macrosheet xmlns=\"http://schemas.openxmlformats.org/"
                            "spreadsheetml/2006/main\" xmlns:xm=\"http://schemas.microsoft.com/"
                            "office/excel/2006/main\"><sheetData/><pageMargins left=\"1\"/>"
                            "</xm:macrosheet>",
                            "macrosheet");
        QVERIFY(wb->Item(1)->pageSetup()->SetCenterHeader("M"));
        QVERIFY(wb->Save());
        QVERIFY(sheetPart(wb, "xl/macrosheets/sheet1.xml")
                    .contains("<pageMargins left=\"1\"/><headerFooter><oddHeader>&amp;CM"
                              "</oddHeader></headerFooter></xm:macrosheet>"));
    }

    void chartSheetAndSelfClosingHeaderFooterGetAHeader()
    {
        Workbook *wb = open("<chartsheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
                            "2006/main\"><sheetViews/><pageMargins left=\"1\"/><headerFooter "
                            "alignWithMargins=\"0\"/><drawing/></chartsheet>",
                            "chartsheet");
        QVERIFY(wb->Item(1)->pageSetup()->SetLeftFooter("A & B"));
        QVERIFY(wb->Save());
        QVERIFY2(sheetPart(wb, "xl/chartsheets/sheet1.xml")
                     .contains("<headerFooter alignWithMargins=\"0\"><oddFooter>&amp;LA &amp; B"
                               "</oddFooter></headerFooter><drawing/>"),
                 sheetPart(wb, "xl/chartsheets/sheet1.xml").constData());
    }
};

QTEST_GUILESS_MAIN(HeaderFooterTest)
#include "headerfootertest.moc"
