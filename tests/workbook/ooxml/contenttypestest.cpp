#include "workbook/ooxml/contenttypes.h"

#include <QtTest>

using workbook::ooxml::ContentTypes;

// Part names match ignoring case, however the name is spelled in the XML.
class ContentTypesTest : public QObject
{
    Q_OBJECT

private slots:
    void typeOfMatchesPartNamesAsWritten()
    {
        const QByteArray xml =
            "<Types><Default Extension=\"XML\" ContentType=\"app/xml\"/>"
            "<Override PartName=\"/XL/Workbook.xml\" ContentType=\"main&amp;x\"/>"
            "<Override PartName=\"/xl/&#x41;.xml\" ContentType=\"entity\"/>"
            "<Override PartName=\"/xl/\xC3\xA9.xml\" ContentType=\"accented\"/></Types>";
        ContentTypes types;
        QString reason;
        QVERIFY2(ContentTypes::parse(xml, &types, &reason), qPrintable(reason));
        QCOMPARE(types.typeOf("/xl/workbook.xml"), QString("main&x"));
        QCOMPARE(types.typeOf("/xl/a.xml"), QString("entity"));
        QCOMPARE(types.typeOf(QString::fromUtf8("/xl/\xC3\x89.xml")), QString("accented"));
        QCOMPARE(types.typeOf("/xl/workbook.xm"), QString());
        QCOMPARE(types.typeOf("/xl/other.xml"), QString("app/xml"));
        QCOMPARE(types.typeOf("/xl/other.bin"), QString());
        QByteArray without;
        QVERIFY(types.withoutOverride("/xl/WORKBOOK.XML", &without));
        QVERIFY(!without.contains("Workbook.xml"));
        QVERIFY(without.contains("&#x41;"));
    }
};

QTEST_GUILESS_MAIN(ContentTypesTest)
#include "contenttypestest.moc"
