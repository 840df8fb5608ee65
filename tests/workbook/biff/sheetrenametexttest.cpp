#include "workbook/biff/sheetrenametext.h"

#include "workbook/biff/recordtypes.h"
#include "xlsrecordfiles.h"

#include <QtTest>

using workbook::biff::SheetRenameText;
using Result = SheetRenameText::Result;

namespace
{

// HLINK records as LibreOffice writes internal links (display name and location).
const char *const kToMySheet =
    "0100010000000000d0c9ea79f9bace118c8200aa004ba90b020000001c0000000c00000074006f0020006d0079"
    "0020007300680065006500740000001100000027004d00790020007300680065006500740027002100410031"
    "003a00420032000000";
const char *const kToIts = "0200020000000000d0c9ea79f9bace118c8200aa004ba90b020000001c0000000700"
                           "000074006f00200069007400730000000b00000027004900740027002700730027"
                           "002100420032000000";
const char *const kToChinese = "0300030000000000d0c9ea79f9bace118c8200aa004ba90b020000001c000000"
                               "0800000074006f002000640061007400610000000600000070656e6321004100"
                               "31000000";
// A link to a web page: a URL moniker, no location.
const char *const kToWeb =
    "0400040000000000d0c9ea79f9bace118c8200aa004ba90b0200000017000000040000007700650062000000e0"
    "c9ea79f9bace118c8200aa004ba90b2800000068007400740070003a002f002f006500780061006d0070006c00"
    "65002e0063006f006d002f000000";

// The test's own walk to the location string: its offset, and the text without the terminator.
struct Location {
    qsizetype offset = -1;
    QString text;
};

Location locationOf(const QByteArray &body)
{
    workbook::cfb::ByteCursor c(body);
    c.skip(28);
    const quint32 flags = c.u32();
    if (flags & 0x10)
        c.skip(qsizetype(c.u32()) * 2);
    if (flags & 0x80)
        c.skip(qsizetype(c.u32()) * 2);
    Location l;
    l.offset = c.position();
    const quint32 length = c.u32();
    l.text = c.utf16(length);
    if (!c.ok() || length == 0)
        return Location();
    l.text.chop(1);
    return l;
}

QByteArray dconref(const QString &source, bool wide, const QByteArray &unused)
{
    QByteArray b = QByteArray::fromHex("000009000002"); // A1:C10
    b.append(char(source.size() & 0xFF)).append(char(source.size() >> 8));
    b.append(char(wide ? 1 : 0));
    for (const QChar ch : source) {
        b.append(char(ch.unicode() & 0xFF));
        if (wide)
            b.append(char(ch.unicode() >> 8));
    }
    return b + unused;
}

} // namespace

class SheetRenameTextTest : public QObject
{
    Q_OBJECT

private slots:
    void internalLinkFollowsRename_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("location");
        const QByteArray mySheet = xlsrecordfiles::fromHex(kToMySheet);
        QTest::newRow("quoted name, any case") << mySheet << "my SHEET"
                                               << "Q1 2024"
                                               << "'Q1 2024'!A1:B2";
        QTest::newRow("quotes dropped") << mySheet << "My sheet"
                                        << "Plain"
                                        << "Plain!A1:B2";
        QTest::newRow("inner quote doubled") << mySheet << "My sheet"
                                             << "It's"
                                             << "'It''s'!A1:B2";
        QTest::newRow("from a doubled quote") << xlsrecordfiles::fromHex(kToIts) << "It's"
                                              << "Data"
                                              << "Data!B2";
        QTest::newRow("from Chinese") << xlsrecordfiles::fromHex(kToChinese) << "数据"
                                      << "Data 2"
                                      << "'Data 2'!A1";
    }
    void internalLinkFollowsRename()
    {
        QFETCH(QByteArray, record);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, location);
        QByteArray out;
        QString why;
        QCOMPARE(SheetRenameText::hyperlink(record, from, to, &out, &why), Result::Changed);
        const Location before = locationOf(record);
        const Location after = locationOf(out);
        QCOMPARE(after.text, location);
        // Range, class id, flags and display name as they were; the location ends the record.
        QCOMPARE(after.offset, before.offset);
        QCOMPARE(out.left(after.offset), record.left(before.offset));
        QCOMPARE(out.size(), after.offset + 4 + (location.size() + 1) * 2);
        QCOMPARE(out.right(2), QByteArray(2, '\0'));
    }

    void fieldsAfterTheLocationKept()
    {
        // A link with a GUID and a creation time after its location.
        QByteArray record = xlsrecordfiles::fromHex(kToChinese);
        record[28] = char(record[28] | 0x60);
        const QByteArray tail = QByteArray::fromHex("00112233445566778899aabbccddeeff"
                                                    "0102030405060708");
        record += tail;
        QByteArray out;
        QString why;
        QCOMPARE(SheetRenameText::hyperlink(record, "数据", "It's", &out, &why), Result::Changed);
        QCOMPARE(locationOf(out).text, QStringLiteral("'It''s'!A1"));
        QVERIFY(out.endsWith(tail));
    }

    void otherTargetsUnchanged()
    {
        QByteArray out = "untouched";
        QString why;
        const QByteArray mySheet = xlsrecordfiles::fromHex(kToMySheet);
        QCOMPARE(SheetRenameText::hyperlink(mySheet, "Sheet1", "X", &out, &why), Result::Unchanged);
        QCOMPARE(SheetRenameText::hyperlink(mySheet, "My", "X", &out, &why), Result::Unchanged);
        QCOMPARE(SheetRenameText::hyperlink(mySheet, "My sheet", "My sheet", &out, &why),
                 Result::Unchanged);
        // A moniker points into another file, even where a location follows it.
        QCOMPARE(
            SheetRenameText::hyperlink(xlsrecordfiles::fromHex(kToWeb), "web", "X", &out, &why),
            Result::Unchanged);
        QByteArray external = mySheet;
        external[28] = char(external[28] | 0x01);
        QCOMPARE(SheetRenameText::hyperlink(external, "My sheet", "X", &out, &why),
                 Result::Unchanged);
        QCOMPARE(out, QByteArray("untouched"));
    }

    void cutShortRecordsUnreadable()
    {
        const QByteArray record = xlsrecordfiles::fromHex(kToMySheet);
        for (int size = 0; size < record.size(); ++size) {
            QByteArray out;
            QString why;
            QCOMPARE(SheetRenameText::hyperlink(record.left(size), "My sheet", "X", &out, &why),
                     Result::Unreadable);
            QVERIFY(!why.isEmpty());
        }
        QByteArray huge = record;
        const Location l = locationOf(record);
        qToLittleEndian(quint32(0xFFFFFFFF), huge.data() + l.offset);
        QByteArray out;
        QString why;
        QCOMPARE(SheetRenameText::hyperlink(huge, "My sheet", "X", &out, &why), Result::Unreadable);
    }

    // Damaged records give one of the three answers and never read outside their bytes.
    void damagedRecords()
    {
        QRandomGenerator random(7);
        const QVector<QByteArray> records = {xlsrecordfiles::fromHex(kToMySheet),
                                             xlsrecordfiles::fromHex(kToWeb),
                                             dconref("\x02"
                                                     "Data",
                                                     true, QByteArray(2, '\0'))};
        for (int i = 0; i < 20000; ++i) {
            QByteArray damaged = records[i % records.size()];
            for (int n = 0; n < 2; ++n)
                damaged[random.bounded(damaged.size())] = char(random.bounded(256));
            QByteArray out;
            QString why;
            const Result a = SheetRenameText::hyperlink(damaged, "My sheet", "X", &out, &why);
            const Result b =
                SheetRenameText::dataConsolidationReference(damaged, "Data", "X", &out, &why);
            QVERIFY(a != Result::Unreadable || !why.isEmpty());
            QVERIFY(b != Result::Unreadable || !why.isEmpty());
        }
    }

    // Every internal link of the corpus follows a rename of the sheet it names; links to
    // defined names stay.
    void corpusLinksFollowRename()
    {
        int renamed = 0;
        int names = 0;
        for (const QString &path : xlsrecordfiles::corpusFiles()) {
            const QByteArray stream = xlsrecordfiles::stream(path, "Workbook");
            for (const auto &r : xlsrecordfiles::records(stream)) {
                if (r.type != workbook::biff::rt::kHLink || r.body.size() < 32)
                    continue;
                const quint32 flags = qFromLittleEndian<quint32>(r.body.constData() + 28);
                QByteArray out;
                QString why;
                if ((flags & 0x09) != 0x08) {
                    QVERIFY(SheetRenameText::hyperlink(r.body, "Sheet1", "X", &out, &why) !=
                            Result::Changed);
                    continue;
                }
                const Location l = locationOf(r.body);
                QByteArray probe;
                if (l.offset < 0) {
                    // A damaged record in the corpus: refused, not read.
                    QCOMPARE(SheetRenameText::hyperlink(r.body, "Sheet1", "X", &probe, &why),
                             Result::Unreadable);
                    continue;
                }
                const int bang = l.text.lastIndexOf('!');
                if (bang < 0) {
                    // A defined name, even one spelt like the renamed sheet.
                    QCOMPARE(SheetRenameText::hyperlink(r.body, l.text, "X", &out, &why),
                             Result::Unchanged);
                    ++names;
                    continue;
                }
                QString sheet = l.text.left(bang);
                if (sheet.startsWith('\'') && sheet.endsWith('\''))
                    sheet = sheet.mid(1, sheet.size() - 2).replace("''", "'");
                QCOMPARE(SheetRenameText::hyperlink(r.body, sheet, "Renamed 'x' 2", &out, &why),
                         Result::Changed);
                QCOMPARE(locationOf(out).text, "'Renamed ''x'' 2'" + l.text.mid(bang));
                QCOMPARE(out.left(l.offset), r.body.left(l.offset));
                ++renamed;
            }
        }
        QVERIFY(renamed >= 1);
        QVERIFY(names >= 10);
    }

    void consolidationSourceRenamed_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray data = dconref("\x02"
                                        "Data",
                                        false, QByteArray(1, '\0'));
        // Stored bare, as the source of a pivot table or consolidation is, never quoted.
        QTest::newRow("spaces and quotes")
            << data << "Q1 'x' 2" << dconref("\x02Q1 'x' 2", false, QByteArray(1, '\0'));
        QTest::newRow("to wide") << data << "数据"
                                 << dconref(QString("\x02") + "数据", true, QByteArray(2, '\0'));
        QTest::newRow("from wide") << dconref("\x02"
                                              "Data",
                                              true, QByteArray::fromHex("abcd"))
                                   << "Plain" << dconref("\x02Plain", false, QByteArray(1, '\0'));
        QTest::newRow("width kept, unused kept")
            << dconref("\x02"
                       "Data",
                       true, QByteArray::fromHex("abcd"))
            << "数" << dconref(QString("\x02") + "数", true, QByteArray::fromHex("abcd"));
        QTest::newRow("case only") << data << "DATA"
                                   << dconref("\x02"
                                              "DATA",
                                              false, QByteArray(1, '\0'));
    }
    void consolidationSourceRenamed()
    {
        QFETCH(QByteArray, record);
        QFETCH(QString, to);
        QFETCH(QByteArray, expected);
        QByteArray out;
        QString why;
        QCOMPARE(SheetRenameText::dataConsolidationReference(record, "data", to, &out, &why),
                 Result::Changed);
        QCOMPARE(out.toHex(), expected.toHex());
    }

    void consolidationSourceElsewhereUnchanged()
    {
        QByteArray out;
        QString why;
        const QByteArray other = dconref("\x02Other", false, QByteArray(1, '\0'));
        QCOMPARE(SheetRenameText::dataConsolidationReference(other, "Data", "X", &out, &why),
                 Result::Unchanged);
        // Another workbook whose path ends in the sheet's name.
        const QByteArray external = dconref("\x01"
                                            "C:\\Data",
                                            false, QByteArray());
        QCOMPARE(SheetRenameText::dataConsolidationReference(external, "C:\\Data", "X", &out, &why),
                 Result::Unchanged);
        QCOMPARE(SheetRenameText::dataConsolidationReference(dconref("", false, {}), "Data", "X",
                                                             &out, &why),
                 Result::Unchanged);
    }

    void consolidationCutShortUnreadable()
    {
        const QByteArray record = dconref("\x02"
                                          "Data",
                                          true, QByteArray(2, '\0'));
        for (int size = 0; size < record.size(); ++size) {
            QByteArray out;
            QString why;
            QCOMPARE(SheetRenameText::dataConsolidationReference(record.left(size), "Data", "X",
                                                                 &out, &why),
                     Result::Unreadable);
            QVERIFY(!why.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(SheetRenameTextTest)
#include "sheetrenametexttest.moc"
