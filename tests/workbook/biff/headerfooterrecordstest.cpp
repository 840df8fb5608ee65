#include "workbook/biff/headerfooterrecords.h"

#include "workbook/biff/biffstring.h"
#include "workbook/biff/recordtypes.h"
#include "xlsrecordfiles.h"

#include <QtTest>

using workbook::biff::HeaderFooterRecords;
namespace rt = workbook::biff::rt;

namespace
{

using Records = QVector<QPair<quint16, qsizetype>>;

// Each sheet substream of a workbook stream, BOF to EOF, embedded charts' records included.
QVector<Records> sheetSubstreams(const QByteArray &stream)
{
    const QVector<xlsrecordfiles::Record> all = xlsrecordfiles::records(stream);
    QVector<Records> sheets;
    for (const auto &r : all) {
        if (r.type != rt::kBoundSheet || r.body.size() < 4)
            continue;
        const qsizetype start = qFromLittleEndian<quint32>(r.body.constData());
        Records sheet;
        int depth = 0;
        for (const auto &s : all) {
            if (s.offset < start)
                continue;
            sheet.append({s.type, s.offset});
            if (s.type == rt::kBof)
                ++depth;
            else if (s.type == rt::kEof && --depth == 0)
                break;
        }
        if (depth == 0 && !sheet.isEmpty() && sheet.first().first == rt::kBof)
            sheets.append(sheet);
    }
    return sheets;
}

Records without(const Records &records, qsizetype offset)
{
    Records out;
    for (const auto &r : records)
        if (r.second != offset)
            out.append(r);
    return out;
}

QString readBack(const QByteArray &body)
{
    workbook::cfb::ByteCursor c(body);
    const QString text = workbook::biff::BiffString::read(c, 2);
    return c.ok() && c.atEnd() ? text : QStringLiteral("<unreadable>");
}

} // namespace

class HeaderFooterRecordsTest : public QObject
{
    Q_OBJECT

private slots:
    void bodyAsExcelWrites_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("none") << QString() << QByteArray();
        // Bodies LibreOffice wrote: compressed where Latin-1 holds the text, else UTF-16.
        QTest::newRow("compressed")
            << "&CCentre title" << xlsrecordfiles::fromHex("0e0000264343656e747265207469746c65");
        QTest::newRow("wide") << "&L数据 header"
                              << xlsrecordfiles::fromHex(
                                     "0b000126004c0070656e632000680065006100640065007200");
        QTest::newRow("Latin-1") << "&Rcafé ÿ" << xlsrecordfiles::fromHex("0800002652636166e920ff");
    }
    void bodyAsExcelWrites()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, body);
        QByteArray out = "stale";
        QString why;
        QVERIFY(HeaderFooterRecords::body(text, &out, &why));
        QCOMPARE(out.toHex(), body.toHex());
        if (!text.isEmpty())
            QCOMPARE(readBack(out), text);
    }

    void atMost255Characters()
    {
        for (const QString &c : {QStringLiteral("é"), QStringLiteral("页")}) {
            QByteArray out;
            QString why;
            QVERIFY(HeaderFooterRecords::body(c.repeated(255), &out, &why));
            QCOMPARE(readBack(out), c.repeated(255));
            out = "kept";
            QVERIFY(!HeaderFooterRecords::body(c.repeated(256), &out, &why));
            QVERIFY2(why.contains("255"), qPrintable(why));
            QCOMPARE(out, QByteArray("kept"));
        }
    }

    // Where Excel and the corpus's other writers put HEADER and FOOTER, in worksheets and chart
    // sheets alike: taking them out and asking for their place gives it back.
    void corpusPlacesFoundAgain()
    {
        int sheets = 0;
        for (const QString &path : xlsrecordfiles::corpusFiles()) {
            for (const Records &sheet : sheetSubstreams(xlsrecordfiles::stream(path, "Workbook"))) {
                // The sheet's own records (depth 1), by index in `sheet`.
                int header = -1, footer = -1, depth = 0;
                for (int i = 0; i < sheet.size(); ++i) {
                    const quint16 type = sheet[i].first;
                    depth += type == rt::kBof ? 1 : 0;
                    if (depth == 1 && type == rt::kHeader && header < 0)
                        header = i;
                    if (depth == 1 && type == rt::kFooter && footer < 0)
                        footer = i;
                    depth -= type == rt::kEof ? 1 : 0;
                }
                if (header < 0 || footer != header + 1)
                    continue;
                const qsizetype headerAt = sheet[header].second;
                const qsizetype footerAt = sheet[footer].second;
                const qsizetype next = sheet[footer + 1].second;
                const QString where =
                    QStringLiteral("%1, sheet at %2").arg(path).arg(sheet.first().second);
                QVERIFY2(HeaderFooterRecords::insertionPoint(without(sheet, headerAt), false) ==
                             footerAt,
                         qPrintable(where));
                QVERIFY2(HeaderFooterRecords::insertionPoint(without(sheet, footerAt), true) ==
                             next,
                         qPrintable(where));
                const Records neither = without(without(sheet, headerAt), footerAt);
                QVERIFY2(HeaderFooterRecords::insertionPoint(neither, false) == next,
                         qPrintable(where));
                QVERIFY2(HeaderFooterRecords::insertionPoint(neither, true) == next,
                         qPrintable(where));
                ++sheets;
            }
        }
        QVERIFY2(sheets >= 100, qPrintable(QString::number(sheets)));
    }

    void placeInBareSubstreams()
    {
        const Records bare = {{rt::kBof, 0}, {rt::kDimensions, 20}, {rt::kEof, 40}};
        QCOMPARE(HeaderFooterRecords::insertionPoint(bare, false), 20);
        const Records nothing = {{rt::kBof, 0}, {rt::kEof, 20}};
        QCOMPARE(HeaderFooterRecords::insertionPoint(nothing, true), 20);
        // A HEADER inside an embedded chart is not the sheet's.
        const Records embedded = {{rt::kBof, 0},    {rt::kBof, 10}, {rt::kHeader, 20},
                                  {rt::kSetup, 30}, {rt::kEof, 40}, {rt::kWindow2, 50},
                                  {rt::kEof, 60}};
        QCOMPARE(HeaderFooterRecords::insertionPoint(embedded, true), 10);
        QCOMPARE(HeaderFooterRecords::insertionPoint({}, true), -1);
        QCOMPARE(HeaderFooterRecords::insertionPoint({{rt::kBof, 0}}, false), -1);
    }
};

QTEST_GUILESS_MAIN(HeaderFooterRecordsTest)
#include "headerfooterrecordstest.moc"
