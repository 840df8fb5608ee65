#include "workbook/biff/biffdocument.h"

#include "tests/workbook/support/biffstreambuilder.h"
#include "tests/workbook/support/compoundfilebuilder.h"
#include "workbook/application.h"
#include "workbook/biff/recordreader.h"
#include "workbook/cfb/compoundfile.h"
#include "workbook/documentfactory.h"
#include "workbook/pagesetup.h"
#include "workbook/sheet.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

#include <QtTest>

using B = BiffStreamBuilder;
using workbook::Error;
using workbook::biff::BiffDocument;

namespace
{

QByteArray cell(int row, int column, int xf)
{
    return B::u16(row) + B::u16(column) + B::u16(xf);
}

QByteArray number(int row, int column, int xf, double v)
{
    return B::record(0x0203, cell(row, column, xf) + B::f64(v));
}

// A MULRK record of count cells from column on, each the RK value 2.
QByteArray mulRk(int row, int column, int count)
{
    QByteArray body = B::u16(row) + B::u16(column);
    for (int i = 0; i < count; ++i)
        body += B::u16(0) + B::u32(0x40000000);
    return B::record(0x00BD, body + B::u16(column + count - 1));
}

QByteArray labelSst(int row, int column, int index, int xf = 0)
{
    return B::record(0x00FD, cell(row, column, xf) + B::u32(quint32(index)));
}

// A FORMULA record with its tokens (cached value 0).
QByteArray formula(int row, int column, const QByteArray &tokens)
{
    return B::record(0x0006, cell(row, column, 0) + B::f64(0) + B::u16(0) + B::u32(0) +
                                 B::u16(tokens.size()) + tokens);
}

QByteArray tRefN(int rowOffset, int columnOffset)
{
    return B::u8(0x2C) + B::u16(rowOffset & 0xFFFF) + B::u16(0xC000 | (columnOffset & 0xFF));
}

QStringList texts(const QByteArray &file, int sheet = 0, QString *reason = nullptr)
{
    Error why;
    auto doc = workbook::DocumentFactory::openBytes(file, &why);
    if (!doc) {
        if (reason)
            *reason = why.toString();
        return {};
    }
    QVector<BiffDocument::CellText> cells;
    if (!static_cast<BiffDocument *>(doc.get())->cellTexts(sheet, &cells, &why)) {
        if (reason)
            *reason = why.toString();
        return {};
    }
    QStringList out;
    for (const auto &c : cells)
        out << (c.searched ? c.text : QStringLiteral("(not searched)"));
    return out;
}

// The string table: "Hello" whole, then a string cut by a CONTINUE in its characters, first
// compressed, then wide (the boundary repeats the width flag).
QByteArray sharedStrings()
{
    const QByteArray sst =
        B::u32(3) + B::u32(3) + B::string("Hello") + B::u16(6) + B::u8(0) + "abc";
    const QByteArray continued = B::u8(1) + B::u16(0x4E2D) + B::u16(0x6587) + B::u16('!') +
                                 B::string(QString::fromUtf8("Zürich"));
    return B::record(0x00FC, sst) + B::record(0x003C, continued);
}

QByteArray tStr(const QString &text)
{
    return B::u8(0x17) + B::string(text, 1);
}

// The record types of a saved file's Workbook stream, in order.
QVector<quint16> recordTypes(const QByteArray &file, QHash<quint16, QByteArray> *lastBody = nullptr)
{
    QString why;
    const auto compound = workbook::cfb::CompoundFile::open(file, &why);
    QByteArray stream;
    if (!compound || !compound->readStream(compound->findRootEntry("Workbook"), &stream, &why))
        return {};
    QVector<quint16> types;
    workbook::biff::RecordReader reader(stream, 0);
    workbook::biff::Record r;
    while (reader.next(&r)) {
        types << r.type;
        if (lastBody)
            lastBody->insert(r.type, r.body.bytes(r.body.size()));
    }
    return types;
}

} // namespace

class BiffDocumentTest : public QObject
{
    Q_OBJECT

private slots:
    void frontDecidesFromTheDirectory_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("reason");
        auto withStreams = [](const QVector<QPair<QString, QByteArray>> &streams) {
            CompoundFileBuilder b;
            for (const auto &s : streams)
                b.addStream(s.first, s.second);
            return b.build();
        };
        const QByteArray biff5 = B::record(0x0809, B::u16(0x0500) + B::u16(0x0005) + B::u32(0));
        QTest::newRow("book_stream.xls")
            << withStreams({{"Book", biff5}})
            << "unsupported format: a 'Book' stream, BIFF5 (Excel 5.0/95) or older";
        QTest::newRow("biff5_workbook_stream.xls")
            << withStreams({{"Workbook", biff5}})
            << "unsupported format: the Workbook stream holds BIFF5 (Excel 5.0/95)";
        QTest::newRow("biff4_workbook_stream.xls")
            << withStreams({{"Workbook", B::record(0x0409, B::u16(0) + B::u16(0x10))}})
            << "unsupported format: the Workbook stream holds BIFF4 (Excel 4.0)";
        QTest::newRow("encrypted_package.xlsx")
            << withStreams({{"EncryptionInfo", QByteArray(200, 'i')},
                            {"EncryptedPackage", QByteArray(5000, 'e')}})
            << "password-protected: compound file holding an EncryptedPackage stream: an "
               "encrypted OOXML workbook";
        QTest::newRow("no_workbook_stream.doc")
            << withStreams({{"WordDocument", QByteArray(100, 'w')}})
            << "not a workbook: a compound file without a Workbook stream (it holds: "
               "WordDocument)";
        B filepass;
        filepass.globals = B::record(0x002F, B::u16(0) + QByteArray(4, '\0'));
        QTest::newRow("filepass.xls")
            << filepass.file() << "password-protected: the workbook stream is encrypted (FILEPASS)";
        QByteArray cut = B().build();
        cut.chop(4); // the EOF of the globals
        cut += B::record(0x0085, QByteArray(10, '\0')).left(8);
        QTest::newRow("record_past_stream_end.xls")
            << withStreams({{"Workbook", cut}})
            << "damaged: BIFF8 workbook: workbook globals: record 0085 at offset 20 declares 10 "
               "bytes, past the end of the workbook stream";
        QByteArray noEof = B().build();
        noEof.chop(4);
        QTest::newRow("globals_without_eof.xls")
            << withStreams({{"Workbook", noEof}})
            << "damaged: BIFF8 workbook: expected the EOF record of the workbook globals";
    }

    void frontDecidesFromTheDirectory()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, reason);
        Error why;
        QVERIFY(!workbook::DocumentFactory::openBytes(file, &why));
        QCOMPARE(why.toString(), reason);
    }

    void sheetsAreListedWithKindAndVisibility()
    {
        B b;
        b.sheets = {{"Data", 0, 0, 0x0010, {}},
                    {"Hidden", 0, 1, 0x0010, {}},
                    {"Deep", 0, 2, 0x0010, {}},
                    {"Chart1", 2, 0, 0x0020, {}},
                    {"Macro1", 1, 0, 0x0040, {}},
                    {"Dialog1", 0, 0, 0x0010, B::record(0x0081, B::u16(0x0010))},
                    {"Module1", 6, 0, 0x0006, {}}};
        workbook::Application app;
        Error why;
        workbook::Workbook *wb = app.OpenFromMemory(b.file(), &why);
        QVERIFY2(wb, qPrintable(why.toString()));
        QCOMPARE(wb->Count(), 6); // the VB module is no sheet
        const QStringList names = {"Data", "Hidden", "Deep", "Chart1", "Macro1", "Dialog1"};
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(wb->Item(i + 1)->Name(), names[i]);
        QCOMPARE(wb->Item(2)->visibility(), workbook::SheetVisibility::Hidden);
        QCOMPARE(wb->Item(3)->visibility(), workbook::SheetVisibility::VeryHidden);
        QCOMPARE(wb->Item(4)->kind(), workbook::SheetKind::Chartsheet);
        QCOMPARE(wb->Item(5)->kind(), workbook::SheetKind::Macrosheet);
        QCOMPARE(wb->Item(6)->kind(), workbook::SheetKind::Dialogsheet);
        QVERIFY(wb->Item(1)->usedRange());
        QVERIFY(!wb->Item(4)->usedRange());
        QVERIFY(!wb->Item(6)->usedRange());
    }

    void everyCellShowsItsFormulaBarText()
    {
        B b;
        b.globals = B::record(0x041E, B::u16(200) + B::string("yyyy-mm-dd")) + B::xf(0) +
                    B::xf(14) + B::xf(10) + B::xf(31) + B::xf(200) + B::xf(21) + sharedStrings();
        const QByteArray rk = B::record(0x027E, cell(3, 0, 0) + B::u32((1234 << 2) | 0x03));
        const QByteArray mulrk =
            B::record(0x00BD, B::u16(4) + B::u16(0) + B::u16(0) + B::u32((7 << 2) | 2) + B::u16(0) +
                                  B::u32((quint32(-5) << 2) | 2) + B::u16(1));
        b.sheets = {{"S", 0, 0, 0x0010,
                     labelSst(0, 0, 0) + labelSst(0, 1, 1) + labelSst(0, 2, 2) +
                         B::record(0x0204, cell(1, 0, 0) + B::string("inline")) +
                         number(2, 0, 0, 0.1 + 0.2) + number(2, 1, 1, 45292) +
                         number(2, 2, 2, 0.5) + number(2, 3, 3, 45292) + number(2, 4, 4, 45292.5) +
                         number(2, 5, 5, 0.75) + rk + mulrk +
                         B::record(0x0205, cell(5, 0, 0) + B::u8(1) + B::u8(0)) +
                         B::record(0x0205, cell(5, 1, 0) + B::u8(0x07) + B::u8(1))}};
        QString why;
        QCOMPARE(texts(b.file(), 0, &why),
                 QStringList({"Hello", QString::fromUtf8("abc中文!"), QString::fromUtf8("Zürich"),
                              "inline", "0.3", "2024/1/1", "50%", "2024/1/1", "2024/1/1 12:00:00",
                              "18:00:00", "12.34", "7", "-5", "TRUE", "#DIV/0!"}));
        QCOMPARE(why, QString());
        workbook::Application app;
        workbook::Workbook *wb = app.OpenFromMemory(b.file());
        QVERIFY(wb);
        workbook::UsedRange *range = wb->Item(1)->usedRange();
        for (const char *hit :
             {"zÜr", "abc中", "hello", "12.3", "2024/1/1 12", "50%", "-5", "true"})
            QVERIFY2(range->Find(QString::fromUtf8(hit)), hit);
        for (const char *miss : {"Hallo", "12.35", "2024/1/2", "FALSE"})
            QVERIFY2(!range->Find(QString::fromUtf8(miss)), miss);
        QVERIFY(!range->lastError().isSet());
    }

    void sharedAndArrayFormulasShowPerCell()
    {
        B b;
        // B1:B3 share =A1*2 (relative to each cell); D1:D2 hold one array formula.
        const QByteArray shared = tRefN(0, -1) + B::u8(0x1E) + B::u16(2) + B::u8(0x05);
        const QByteArray exp = B::u8(0x01) + B::u16(0) + B::u16(1);
        const QByteArray arrayExp = B::u8(0x01) + B::u16(0) + B::u16(3);
        const QByteArray sum = B::u8(0x25) + B::u16(0) + B::u16(2) + B::u16(0xC000) +
                               B::u16(0xC000) + B::u8(0x19) + B::u8(0x10) + B::u16(0);
        b.sheets = {{"S", 0, 0, 0x0010,
                     formula(0, 1, exp) +
                         B::record(0x04BC, B::u16(0) + B::u16(2) + B::u8(1) + B::u8(1) + B::u8(0) +
                                               B::u8(3) + B::u16(shared.size()) + shared) +
                         formula(1, 1, exp) + formula(2, 1, exp) + formula(0, 3, arrayExp) +
                         B::record(0x0221, B::u16(0) + B::u16(1) + B::u8(3) + B::u8(3) + B::u16(0) +
                                               B::u32(0) + B::u16(sum.size()) + sum) +
                         formula(1, 3, arrayExp) +
                         formula(4, 0, B::u8(0x02) + B::u16(0) + B::u16(0))}};
        QString why;
        QCOMPARE(texts(b.file(), 0, &why), QStringList({"=A1*2", "=A2*2", "=A3*2", "=SUM(A1:A3)",
                                                        "(not searched)", "(not searched)"}));
        workbook::Application app;
        workbook::Workbook *wb = app.OpenFromMemory(b.file());
        QVERIFY(wb);
        QVERIFY(wb->Item(1)->usedRange()->Find("a3*2"));
        QVERIFY(!wb->Item(1)->usedRange()->Find("A4"));
        QVERIFY(!wb->Item(1)->usedRange()->lastError().isSet());
    }

    void headersAndFootersAreReadInSections()
    {
        B b;
        b.sheets = {{"S", 0, 0, 0x0010,
                     B::record(0x0014, B::string("&LLeft &P&CMiddle&RRight")) +
                         B::record(0x0015, B::string("Centre && more"))},
                    {"Empty", 0, 0, 0x0010, B::record(0x0014, QByteArray())}};
        workbook::Application app;
        workbook::Workbook *wb = app.OpenFromMemory(b.file());
        QVERIFY(wb);
        workbook::PageSetup *p = wb->Item(1)->pageSetup();
        QCOMPARE(p->LeftHeader(), QString("Left &P"));
        QCOMPARE(p->CenterHeader(), QString("Middle"));
        QCOMPARE(p->RightHeader(), QString("Right"));
        QCOMPARE(p->CenterFooter(), QString("Centre && more"));
        QCOMPARE(p->LeftFooter(), QString());
        QCOMPARE(wb->Item(2)->pageSetup()->CenterHeader(), QString());
    }

    // Replace, rename and header changes go into the saved file and read back: a string used
    // on another sheet gets its own item, one used only here changes in place (also the one a
    // CONTINUE cut), a number inside a MULRK splits it, the string table cut by a CONTINUE is
    // written back whole.
    void changesAreStoredInTheFile()
    {
        auto rk = [](int v) { return B::u32(quint32(v) << 2 | 2); };
        B b;
        b.globals = sharedStrings();
        b.sheets = {{"S", 0, 0, 0x0010,
                     labelSst(0, 0, 0) + labelSst(1, 0, 1) +
                         B::record(0x00BD, B::u16(2) + B::u16(0) + B::u16(0) + rk(1) + B::u16(0) +
                                               rk(2) + B::u16(0) + rk(3) + B::u16(2))},
                    {"T", 0, 0, 0x0010, labelSst(0, 0, 0) + labelSst(0, 1, 2)}};
        workbook::Application app;
        workbook::Workbook *wb = app.OpenFromMemory(b.file());
        QVERIFY(wb);
        workbook::UsedRange *range = wb->Item(1)->usedRange();
        QVERIFY(!range->Replace("absent", "x"));
        QVERIFY(!range->lastError().isSet()); // a miss, not a failure
        QVERIFY(!wb->isModified());
        QVERIFY(range->Replace("hell", "Jell"));
        QVERIFY(range->Replace("2", "5"));
        QVERIFY(range->Replace(QString::fromUtf8("中文"), "x"));
        QVERIFY(wb->isModified());
        Error why;
        QVERIFY2(wb->Item(1)->SetName("Neu", &why), qPrintable(why.toString()));
        QVERIFY2(wb->Item(2)->pageSetup()->setSection(workbook::HeaderFooterSection::CenterHeader,
                                                      "Kopf", &why),
                 qPrintable(why.toString()));
        QVERIFY2(wb->Save(&why), qPrintable(why.toString()));
        const QByteArray saved = wb->savedBytes();
        QVERIFY(!saved.isEmpty());

        QString reason;
        QCOMPARE(texts(saved, 0, &reason),
                 QStringList({"Jello", QString::fromUtf8("abcx!"), "1", "5", "3"}));
        QCOMPARE(texts(saved, 1, &reason), QStringList({"Hello", QString::fromUtf8("Zürich")}));
        workbook::Application again;
        workbook::Workbook *back = again.OpenFromMemory(saved);
        QVERIFY(back);
        QCOMPARE(back->Item(1)->Name(), QString("Neu"));
        QCOMPARE(back->Item(2)->pageSetup()->CenterHeader(), QString("Kopf"));
        // The other sheet's use kept the item; the changed one lives in its own.
        auto *d = static_cast<BiffDocument *>(back->document());
        QCOMPARE(d->workbook().sharedStringCount(), 4);
    }

    // Formulas: every cell of a shared formula whose first cell changed gets its own formula
    // and the SHRFMLA goes; a text result's STRING record goes with the cached result; an
    // array formula keeps its ARRAY record with the new tokens; the sheet is marked UNCALCED.
    void changedFormulasAreWrittenAsTokens()
    {
        // The reference as Excel stores an operand of &: value class (tRefNV).
        QByteArray reference = tRefN(0, 1);
        reference[0] = char(0x4C);
        const QByteArray shared = tStr("abc") + reference + B::u8(0x08);
        const QByteArray tExp00 = B::u8(0x01) + B::u16(0) + B::u16(0);
        auto formulaWith = [](int row, int column, const QByteArray &result, int grbit,
                              const QByteArray &tokens) {
            return B::record(0x0006, cell(row, column, 0) + result + B::u16(grbit) + B::u32(0) +
                                         B::u16(tokens.size()) + tokens);
        };
        const QByteArray stringResult = QByteArray("\0\0\0\0\0\0\xFF\xFF", 8);
        QByteArray records;
        for (int row = 0; row < 3; ++row) {
            records += formulaWith(row, 0, B::f64(0), 0x0008, tExp00);
            if (row == 0)
                records +=
                    B::record(0x04BC, B::u16(0) + B::u16(2) + B::u8(0) + B::u8(0) + B::u8(0) +
                                          B::u8(3) + B::u16(shared.size()) + shared);
            records += number(row, 1, 0, row + 1);
        }
        records +=
            formulaWith(4, 0, stringResult, 0, tStr("abc")) + B::record(0x0207, B::string("abc"));
        const QByteArray tExp50 = B::u8(0x01) + B::u16(5) + B::u16(0);
        records += formulaWith(5, 0, B::f64(0), 0, tExp50) +
                   B::record(0x0221, B::u16(5) + B::u16(5) + B::u8(0) + B::u8(0) + B::u16(0) +
                                         B::u32(0) + B::u16(6) + tStr("abc"));
        B b;
        b.globals = sharedStrings();
        b.sheets = {{"S", 0, 0, 0x0010, records}};
        QString reason;
        QCOMPARE(texts(b.file(), 0, &reason),
                 QStringList({"=\"abc\"&B1", "1", "=\"abc\"&B2", "2", "=\"abc\"&B3", "3",
                              "=\"abc\"", "=\"abc\""}));

        workbook::Application app;
        workbook::Workbook *wb = app.OpenFromMemory(b.file());
        QVERIFY(wb);
        QVERIFY2(wb->Item(1)->usedRange()->Replace("abc", "xyz"),
                 qPrintable(wb->Item(1)->usedRange()->lastError().toString()));
        Error why;
        QVERIFY2(wb->Save(&why), qPrintable(why.toString()));
        const QByteArray saved = wb->savedBytes();
        QCOMPARE(texts(saved, 0, &reason),
                 QStringList({"=\"xyz\"&B1", "1", "=\"xyz\"&B2", "2", "=\"xyz\"&B3", "3",
                              "=\"xyz\"", "=\"xyz\""}));
        QHash<quint16, QByteArray> last;
        const QVector<quint16> types = recordTypes(saved, &last);
        QVERIFY(!types.contains(0x04BC)); // SHRFMLA
        QVERIFY(!types.contains(0x0207)); // STRING
        QVERIFY(types.contains(0x0221));  // ARRAY
        QVERIFY(last.value(0x0221).endsWith(tStr("xyz")));
        // UNCALCED right after the sheet's BOF.
        const int sheetBof = int(types.indexOf(0x0809, 1));
        QVERIFY(sheetBof > 0);
        QCOMPARE(types.value(sheetBof + 1), quint16(0x005E));
    }

    // A formula the search passes over by its tokens leaves nothing behind: the text cell
    // after it is still seen (and changed) as text.
    void cellAfterAPassedOverFormulaIsItself()
    {
        const QByteArray onePlusTwo =
            B::u8(0x1E) + B::u16(1) + B::u8(0x1E) + B::u16(2) + B::u8(0x03);
        B b;
        b.globals = sharedStrings();
        b.sheets = {{"S", 0, 0, 0x0010, formula(0, 0, onePlusTwo) + labelSst(0, 1, 0)}};
        workbook::Application app;
        workbook::Workbook *wb = app.OpenFromMemory(b.file());
        QVERIFY(wb);
        QVERIFY(wb->Item(1)->usedRange()->Find("hello"));
        QVERIFY(wb->Item(1)->usedRange()->Replace("hello", "Howdy"));
        Error why;
        QVERIFY2(wb->Save(&why), qPrintable(why.toString()));
        QString reason;
        QCOMPARE(texts(wb->savedBytes(), 0, &reason), QStringList({"=1+2", "Howdy"}));
    }

    // A cell that matched but cannot take its new content leaves the sheet and workbook as
    // they were, with the reason.
    void refusedChangeLeavesTheWorkbook()
    {
        B b;
        b.globals = sharedStrings();
        b.sheets = {{"S", 0, 0, 0x0010, labelSst(0, 0, 0)}};
        workbook::Application app;
        workbook::Workbook *wb = app.OpenFromMemory(b.file());
        QVERIFY(wb);
        workbook::UsedRange *range = wb->Item(1)->usedRange();
        QVERIFY(!range->Replace("Hello", QString(33000, 'x')));
        QCOMPARE(range->lastError().kind, Error::Kind::CannotChange);
        QVERIFY(!wb->isModified());
        QCOMPARE(texts(b.file()), QStringList({"Hello"}));

        // A formula may not reach past the format's 256 columns.
        const QByteArray onePlusTwo =
            B::u8(0x1E) + B::u16(1) + B::u8(0x1E) + B::u16(2) + B::u8(0x03);
        b.sheets = {{"S", 0, 0, 0x0010, formula(0, 0, onePlusTwo)}};
        wb = app.OpenFromMemory(b.file());
        QVERIFY(wb);
        range = wb->Item(1)->usedRange();
        QVERIFY(!range->Replace("1+2", "IW1+2"));
        QVERIFY2(range->lastError().toString().contains("256 columns"),
                 qPrintable(range->lastError().toString()));
        QVERIFY(!wb->isModified());
    }

    void damagedSheetCannotBeSearched_data()
    {
        QTest::addColumn<QByteArray>("records");
        QTest::addColumn<QString>("reason");
        QTest::newRow("string index beyond the table")
            << labelSst(0, 0, 7) << "sheet 'S': cell R1C1 uses shared string 7 of a table of 3";
        QTest::newRow("cell record cut short")
            << B::record(0x0203, cell(0, 0, 0) + QByteArray(3, '\0'))
            << "sheet 'S': record 0203 at offset 103 is cut short";
        QTest::newRow("RK cut short") << B::record(0x027E, cell(0, 0, 0) + QByteArray(3, '\0'))
                                      << "sheet 'S': record 027e at offset 103 is cut short";
        QTest::newRow("MULRK without cells")
            << B::record(0x00BD, B::u16(0) + B::u16(0) + B::u16(0))
            << "sheet 'S': a MULRK record at offset 103 without cells";
        QTest::newRow("MULRK past the last column")
            << number(0, 0, 0, 5) + mulRk(1, 250, 10)
            << "sheet 'S': expected a column of at most 256, found 257";
        QTest::newRow("number past the last column")
            << number(0, 300, 0, 5) << "sheet 'S': expected a column of at most 256, found 301";
        QTest::newRow("shared formula missing")
            << formula(0, 0, B::u8(0x01) + B::u16(5) + B::u16(5))
            << "sheet 'S': cell R1C1 points at a shared formula that is not there";
        QTest::newRow("unknown token")
            << formula(0, 0, B::u8(0x1A))
            << "sheet 'S': the formula of cell R1C1 cannot be read: unexpected token 1a";
    }

    // Alike whether the search text could show as a number or not: number cells left out
    // of a search for "a" are checked as those of a search for "1" are read.
    void damagedSheetCannotBeSearched()
    {
        QFETCH(QByteArray, records);
        QFETCH(QString, reason);
        B b;
        b.globals = sharedStrings();
        b.sheets = {{"S", 0, 0, 0x0010, records}};
        workbook::Application app;
        workbook::Workbook *wb = app.OpenFromMemory(b.file());
        QVERIFY(wb); // the workbook opens; the sheet reports why it cannot be searched
        for (const char *what : {"a", "1"}) {
            QVERIFY(!wb->Item(1)->usedRange()->Find(what));
            QCOMPARE(wb->Item(1)->usedRange()->lastError().kind, Error::Kind::Damaged);
            QCOMPARE(wb->Item(1)->usedRange()->lastError().detail, reason);
        }
    }
};

QTEST_GUILESS_MAIN(BiffDocumentTest)
#include "biffdocumenttest.moc"
