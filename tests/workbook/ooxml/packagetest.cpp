#include "workbook/ooxml/package.h"

#include "tests/workbook/support/zipcontents.h"

#include <QtTest>

using workbook::ooxml::Package;

namespace
{

QByteArray sheetLike(const QByteArray &text, int cells)
{
    QByteArray xml = "<worksheet><sheetData>";
    for (int i = 0; i < cells; ++i)
        xml += "<c r=\"A" + QByteArray::number(i + 1) + "\" t=\"inlineStr\"><is><t>" + text +
               QByteArray::number(i * 7) + "</t></is></c>";
    return xml + "</sheetData></worksheet>";
}

QByteArray readOrFail(Package &package, const QString &part)
{
    QByteArray out;
    QString reason;
    if (!package.read(part, &out, &reason))
        return "not read: " + reason.toUtf8();
    return out;
}

} // namespace

// Changed parts are held deflated between their changes: each reads back as last written,
// changes again, and goes into the saved container with the right sizes and CRC-32.
class PackageTest : public QObject
{
    Q_OBJECT

private slots:
    void changedPartsReadBackAndSaveWhileHeldDeflated()
    {
        const QByteArray c = sheetLike("c", 300);
        const QByteArray zip = ZipContents::makeZip({{"[Content_Types].xml", "<Types/>"},
                                                     {"xl/a.xml", sheetLike("a", 300)},
                                                     {"xl/b.xml", sheetLike("b", 300)},
                                                     {"xl/c.xml", c}});
        QString reason;
        std::unique_ptr<Package> package = Package::open(zip, &reason);
        QVERIFY2(package, qPrintable(reason));
        const QByteArray a1 = sheetLike("a1", 300), b1 = sheetLike("b1", 2000);
        const QByteArray a2 = sheetLike("a2", 10), added = sheetLike("new", 5);
        QVERIFY2(package->write("/xl/a.xml", a1, &reason), qPrintable(reason));
        QVERIFY2(package->write("/xl/b.xml", b1, &reason), qPrintable(reason));
        QCOMPARE(readOrFail(*package, "/xl/a.xml"), a1);
        QCOMPARE(readOrFail(*package, "/xl/c.xml"), c);
        QVERIFY2(package->write("/xl/a.xml", a2, &reason), qPrintable(reason));
        QCOMPARE(readOrFail(*package, "/xl/b.xml"), b1);
        QVERIFY2(package->write("/xl/added.xml", added, &reason), qPrintable(reason));
        QCOMPARE(package->heldBytes(), qint64(a2.size() + b1.size() + added.size()));

        QByteArray saved;
        QVERIFY2(package->serialize(&saved, &reason), qPrintable(reason));
        QCOMPARE(ZipContents::entryFromBytes(saved, "xl/a.xml"), a2);
        QCOMPARE(ZipContents::entryFromBytes(saved, "xl/b.xml"), b1);
        QCOMPARE(ZipContents::entryFromBytes(saved, "xl/c.xml"), c);
        QCOMPARE(ZipContents::entryFromBytes(saved, "xl/added.xml"), added);

        // After a save the parts are still there to read and change.
        QCOMPARE(readOrFail(*package, "/xl/a.xml"), a2);
        QVERIFY2(package->write("/xl/b.xml", c, &reason), qPrintable(reason));
        QVERIFY2(package->serialize(&saved, &reason), qPrintable(reason));
        QCOMPARE(ZipContents::entryFromBytes(saved, "xl/a.xml"), a2);
        QCOMPARE(ZipContents::entryFromBytes(saved, "xl/b.xml"), c);
    }

    void emptyChangedPartIsSaved()
    {
        const QByteArray zip = ZipContents::makeZip({{"a.xml", "<a/>"}, {"b.xml", "<b/>"}});
        QString reason;
        std::unique_ptr<Package> package = Package::open(zip, &reason);
        QVERIFY2(package, qPrintable(reason));
        QVERIFY2(package->write("/a.xml", QByteArray(), &reason), qPrintable(reason));
        QCOMPARE(readOrFail(*package, "/a.xml"), QByteArray(""));
        QCOMPARE(readOrFail(*package, "/b.xml"), QByteArray("<b/>"));
        QCOMPARE(readOrFail(*package, "/a.xml"), QByteArray(""));
        QByteArray saved;
        QVERIFY2(package->serialize(&saved, &reason), qPrintable(reason));
        QCOMPARE(ZipContents::entryFromBytes(saved, "a.xml"), QByteArray(""));
        QCOMPARE(ZipContents::entryFromBytes(saved, "b.xml"), QByteArray("<b/>"));
    }
};

QTEST_GUILESS_MAIN(PackageTest)
#include "packagetest.moc"
