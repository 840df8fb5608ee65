#include "workbook/biff/boundsheetrecord.h"

#include "workbook/biff/biffstring.h"
#include "workbook/biff/recordtypes.h"
#include "xlsrecordfiles.h"

#include <QtTest>

using workbook::biff::BoundSheetRecord;

namespace
{

// As LibreOffice wrote them: "My sheet" (visible worksheet) and "数据".
const char *const kMySheet = "c4080000000008004d79207368656574";
const char *const kChinese = "c80c00000000020170656e63";

QString nameOf(const QByteArray &body)
{
    workbook::cfb::ByteCursor c(body);
    c.skip(6);
    const QString name = workbook::biff::BiffString::read(c, 1);
    return c.ok() && c.atEnd() ? name : QString();
}

} // namespace

class BoundSheetRecordTest : public QObject
{
    Q_OBJECT

private slots:
    void renamedAsExcelWrites_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray mySheet = xlsrecordfiles::fromHex(kMySheet);
        QTest::newRow("to wide") << mySheet << "数据"
                                 << xlsrecordfiles::fromHex("c40800000000020170656e63");
        QTest::newRow("to compressed") << xlsrecordfiles::fromHex(kChinese) << "It's"
                                       << xlsrecordfiles::fromHex("c80c00000000040049742773");
        // A hidden chart sheet keeps its state and type.
        QTest::newRow("state and type kept")
            << xlsrecordfiles::fromHex("0010000001020300414243") << "Café"
            << xlsrecordfiles::fromHex("0010000001020400436166e9");
        QTest::newRow("31 characters")
            << mySheet << QString(31, 'x')
            << xlsrecordfiles::fromHex("c408000000001f00") + QByteArray(31, 'x');
    }
    void renamedAsExcelWrites()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, name);
        QFETCH(QByteArray, expected);
        QByteArray out;
        QString why;
        QVERIFY2(BoundSheetRecord::renamed(body, name, &out, &why), qPrintable(why));
        QCOMPARE(out.toHex(), expected.toHex());
        QCOMPARE(nameOf(out), name);
    }

    void refused()
    {
        const QByteArray body = xlsrecordfiles::fromHex(kMySheet);
        QByteArray out = "kept";
        QString why;
        QVERIFY(!BoundSheetRecord::renamed(body, QString(), &out, &why));
        QVERIFY(!BoundSheetRecord::renamed(body, QString(32, 'x'), &out, &why));
        QVERIFY2(why.contains("31"), qPrintable(why));
        for (int size = 0; size < body.size(); ++size) {
            why.clear();
            QVERIFY(!BoundSheetRecord::renamed(body.left(size), "X", &out, &why));
            QVERIFY(!why.isEmpty());
        }
        QCOMPARE(out, QByteArray("kept"));
    }

    // Every sheet record of the corpus written again under its own name comes out as its
    // writer wrote it, where the writer stored the name compressed when it could.
    void corpusRecordsRewrittenAlike()
    {
        int same = 0;
        for (const QString &path : xlsrecordfiles::corpusFiles()) {
            for (const auto &r :
                 xlsrecordfiles::records(xlsrecordfiles::stream(path, "Workbook"))) {
                if (r.type != workbook::biff::rt::kBoundSheet || r.body.size() < 8)
                    continue;
                const QString name = nameOf(r.body);
                const bool latin1 = std::all_of(name.begin(), name.end(),
                                                [](QChar c) { return c.unicode() <= 0xFF; });
                const bool storedWide = r.body[7] & 0x01;
                if (name.isEmpty() || name.size() > 31 || latin1 == storedWide)
                    continue;
                QByteArray out;
                QString why;
                QVERIFY2(BoundSheetRecord::renamed(r.body, name, &out, &why),
                         qPrintable(path + ": " + why));
                QVERIFY2(out == r.body, qPrintable(path + ": " + name));
                ++same;
            }
        }
        QVERIFY2(same >= 300, qPrintable(QString::number(same)));
    }
};

QTEST_GUILESS_MAIN(BoundSheetRecordTest)
#include "boundsheetrecordtest.moc"
