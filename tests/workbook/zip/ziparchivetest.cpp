#include "workbook/zip/ziparchive.h"

#include "tests/workbook/support/zipcontents.h"

#include <QtTest>

using workbook::zip::ZipArchive;

namespace
{

// Text that deflates well but not to nothing, like a sheet part.
QByteArray sheetLikeText()
{
    QByteArray text;
    for (int i = 0; i < 400; ++i)
        text += "<c r=\"A" + QByteArray::number(i) + "\" t=\"s\"><v>" + QByteArray::number(i * 7) +
                "</v></c>";
    return text;
}

void putLe32(QByteArray &bytes, int at, quint32 value)
{
    for (int k = 0; k < 4; ++k)
        bytes[at + k] = char((value >> (8 * k)) & 0xff);
}

quint32 le32(const QByteArray &bytes, int at)
{
    quint32 v = 0;
    for (int k = 3; k >= 0; --k)
        v = (v << 8) | quint8(bytes[at + k]);
    return v;
}

// Offsets of the one entry's local and central headers.
struct Headers {
    int local = 0;
    int central = 0;
    int dataAt = 0;
};

Headers headersOf(const QByteArray &zip)
{
    Headers h;
    h.local = zip.indexOf("PK\x03\x04");
    h.central = zip.indexOf("PK\x01\x02");
    const int nameLength = quint8(zip[h.local + 26]) | (quint8(zip[h.local + 27]) << 8);
    const int extraLength = quint8(zip[h.local + 28]) | (quint8(zip[h.local + 29]) << 8);
    h.dataAt = h.local + 30 + nameLength + extraLength;
    return h;
}

// The declared CRC, compressed size or size changed alike in both headers.
enum class Field { Crc = 0, Size = 8 };
QByteArray withDeclared(QByteArray zip, Field field, quint32 value)
{
    const Headers h = headersOf(zip);
    putLe32(zip, h.local + 14 + int(field), value);
    putLe32(zip, h.central + 16 + int(field), value);
    return zip;
}

QString readFailure(const QByteArray &zip)
{
    QString reason;
    std::unique_ptr<ZipArchive> archive = ZipArchive::open(zip, &reason);
    if (!archive)
        return QStringLiteral("not opened: ") + reason;
    QByteArray out;
    if (archive->read(0, &out, &reason))
        return QStringLiteral("read");
    return reason;
}

} // namespace

// Entry contents come out exactly as stored, and every way an entry can lie about itself is
// caught before its bytes are used.
class ZipArchiveTest : public QObject
{
    Q_OBJECT

private slots:
    void deflatedAndStoredEntriesReadBack()
    {
        for (const bool store : {false, true}) {
            const QByteArray text = sheetLikeText();
            const QByteArray zip =
                ZipContents::makeZip({{"a.xml", text}, {"empty.xml", {}}}, store);
            QString reason;
            std::unique_ptr<ZipArchive> archive = ZipArchive::open(zip, &reason);
            QVERIFY2(archive, qPrintable(reason));
            QByteArray out;
            QVERIFY2(archive->read(0, &out, &reason), qPrintable(reason));
            QCOMPARE(out, text);
            QVERIFY2(archive->read(1, &out, &reason), qPrintable(reason));
            QCOMPARE(out, QByteArray());
            // Reading again reuses the inflater's state without carrying anything over.
            QVERIFY2(archive->read(0, &out, &reason), qPrintable(reason));
            QCOMPARE(out, text);
        }
    }

    // An entry this class cannot locate itself is still read, through libzip, and checked.
    void entryWithAnOddLocalHeaderIsReadThroughLibzip()
    {
        const QByteArray text = sheetLikeText();
        QByteArray zip = ZipContents::makeZip({{"a.xml", text}});
        zip[headersOf(zip).local + 3] = 9; // not a local header signature
        QString reason;
        std::unique_ptr<ZipArchive> archive = ZipArchive::open(zip, &reason);
        QVERIFY2(archive, qPrintable(reason));
        QByteArray out;
        QVERIFY2(archive->read(0, &out, &reason), qPrintable(reason));
        QCOMPARE(out, text);
        const quint32 crc = le32(zip, headersOf(zip).central + 16);
        QCOMPARE(readFailure(withDeclared(zip, Field::Crc, crc ^ 1)),
                 QString("zip entry a.xml: expected intact compressed data, found a CRC error"));
    }

    void lyingEntriesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("zip");
        QTest::addColumn<QString>("reason");
        const QByteArray text = sheetLikeText();
        const QByteArray deflated = ZipContents::makeZip({{"a.xml", text}});
        const QByteArray stored = ZipContents::makeZip({{"a.xml", text}}, true);
        const quint32 size = quint32(text.size());
        QTest::newRow("deflated, declared too small")
            << withDeclared(deflated, Field::Size, size - 1) << "beyond its declared size";
        QTest::newRow("deflated, declared too large")
            << withDeclared(deflated, Field::Size, size + 1)
            << QString("expected %1 bytes, found %2").arg(size + 1).arg(size);
        QTest::newRow("stored, declared too small")
            << withDeclared(stored, Field::Size, size - 1) << "beyond its declared size";
        const quint32 crc = le32(deflated, headersOf(deflated).central + 16);
        QTest::newRow("deflated, wrong checksum")
            << withDeclared(deflated, Field::Crc, crc ^ 1) << "CRC error";
        QByteArray damaged = deflated;
        damaged[headersOf(damaged).dataAt] = char(0xFF); // a block type deflate does not have
        QTest::newRow("deflated, damaged data") << damaged << "expected intact compressed data";
    }
    void lyingEntriesAreRefused()
    {
        QFETCH(QByteArray, zip);
        QFETCH(QString, reason);
        const QString got = readFailure(zip);
        QVERIFY2(got.contains(reason), qPrintable(got));
    }
};

QTEST_GUILESS_MAIN(ZipArchiveTest)
#include "ziparchivetest.moc"
