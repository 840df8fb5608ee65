#include "workbook/xml/xmlscanner.h"

#include "workbook/limits.h"
#include "workbook/xml/splicer.h"

#include <QtTest>

using workbook::xml::Splicer;
using workbook::xml::XmlScanner;

namespace
{

// Scans to the end; the error, or "" when the document is accepted.
QString verdict(const QByteArray &xml)
{
    XmlScanner s(xml);
    for (;;) {
        const XmlScanner::Token t = s.next();
        if (t == XmlScanner::EndOfDocument)
            return QString();
        if (t == XmlScanner::Invalid)
            return s.errorString();
    }
}

bool decode(const char *raw, QString *out)
{
    return XmlScanner::decodeText(raw, qsizetype(strlen(raw)), out);
}

} // namespace

class XmlScannerTest : public QObject
{
    Q_OBJECT

private slots:
    void tokensCarryTheirByteOffsets()
    {
        const QByteArray xml = "<?xml version=\"1.0\"?>\n<a x='1' y=\"&lt;\"><b/>t&amp;u</a>";
        XmlScanner s(xml);
        QCOMPARE(s.next(), XmlScanner::ProcessingInstruction);
        QCOMPARE(s.next(), XmlScanner::Text);
        QCOMPARE(s.next(), XmlScanner::StartElement);
        QCOMPARE(xml.mid(int(s.tokenBegin()), int(s.tokenEnd() - s.tokenBegin())),
                 QByteArray("<a x='1' y=\"&lt;\">"));
        QString y;
        QVERIFY(s.attributeText("y", &y));
        QCOMPARE(y, QString("<"));
        QCOMPARE(s.next(), XmlScanner::StartElement);
        QVERIFY(s.isSelfClosing());
        QCOMPARE(s.depth(), 2);
        QCOMPARE(s.next(), XmlScanner::EndElement);
        QCOMPARE(s.tokenBegin(), s.tokenEnd());
        QCOMPARE(s.next(), XmlScanner::Text);
        QString text;
        QVERIFY(XmlScanner::decodeText(s.text(), &text));
        QCOMPARE(text, QString("t&u"));
        QCOMPARE(s.next(), XmlScanner::EndElement);
        QCOMPARE(s.tokenEnd(), qsizetype(xml.size()));
        QCOMPARE(s.next(), XmlScanner::EndOfDocument);
    }

    void decodingResolvesReferencesAndLineEnds()
    {
        QString out;
        QVERIFY(decode(("a\r\nb\rc&#13;&#x4E2D;&#20013;"), &out));
        QCOMPARE(out, QString::fromUtf8("a\nb\nc\r中中"));
        out.clear();
        QVERIFY(!decode(("&bogus;"), &out));
        QVERIFY(!decode(("&#0;"), &out));
        QVERIFY(!decode(("&#xD800;"), &out));
        QVERIFY(!decode(("& alone"), &out));
    }

    void malformedDocumentsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("error");
        QTest::newRow("mismatched") << QByteArray("<a><b></a></b>") << "expected </b>, found </a>";
        QTest::newRow("unclosed") << QByteArray("<a><b>") << "end of the document";
        QTest::newRow("two roots") << QByteArray("<a/><b/>") << "second";
        QTest::newRow("text outside") << QByteArray("x<a/>") << "outside the root";
        QTest::newRow("unquoted attribute") << QByteArray("<a x=1/>") << "quoted";
        QTest::newRow("doctype") << QByteArray("<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>")
                                 << "document type declaration";
        QTest::newRow("empty") << QByteArray() << "root element";
        QTest::newRow("cut in a tag") << QByteArray("<a><b x=\"1") << "closing quote";
    }
    void malformedDocumentsAreRefused()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, error);
        const QString got = verdict(xml);
        QVERIFY2(got.contains(error), qPrintable(got));
    }

    // A text-only element is skipped or read in one step: the scanner must stand exactly where
    // stepping token by token would have left it, with the same text or the same error.
    void skippingAnElementEndsAsItsTokensWould_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::newRow("value") << QByteArray("<r><v>12</v><v>3</v></r>");
        QTest::newRow("empty") << QByteArray("<r><v></v><w/></r>");
        QTest::newRow("prefixed") << QByteArray("<x:r><x:v>a&amp;b</x:v ><x:v>c\r\nd</x:v></x:r>");
        QTest::newRow("comment inside") << QByteArray("<r><v>1<!-- c -->2</v></r>");
        QTest::newRow("child") << QByteArray("<r><v>1<b/>2</v></r>");
        QTest::newRow("longer end name") << QByteArray("<r><v>1</vv></r>");
        QTest::newRow("unknown entity") << QByteArray("<r><v>&bogus;</v></r>");
        QTest::newRow("no end") << QByteArray("<r><v>1");
    }

    void skippingAnElementEndsAsItsTokensWould()
    {
        QFETCH(QByteArray, xml);
        for (const bool reading : {false, true}) {
            XmlScanner quick(xml), slow(xml);
            for (;;) {
                const XmlScanner::Token t = quick.next();
                QCOMPARE(slow.next(), t);
                if (t == XmlScanner::EndOfDocument || t == XmlScanner::Invalid)
                    break;
                if (t != XmlScanner::StartElement || quick.depth() != 2)
                    continue;
                // Stepped by hand: the direct text, decoded, up to the element's own end.
                const int depth = slow.depth();
                int inside = 0; // elements open within this one
                QString expected;
                bool ok = true;
                for (;;) {
                    const XmlScanner::Token u = slow.next();
                    if (u == XmlScanner::StartElement)
                        ++inside;
                    else if (u == XmlScanner::EndElement)
                        --inside;
                    if (u == XmlScanner::Text && reading && inside == 0 &&
                        !XmlScanner::decodeText(slow.text(), &expected)) {
                        ok = false;
                        break;
                    }
                    if ((u == XmlScanner::EndElement && slow.depth() == depth) ||
                        u == XmlScanner::Invalid || u == XmlScanner::EndOfDocument) {
                        ok = u == XmlScanner::EndElement;
                        break;
                    }
                }
                QString got;
                QCOMPARE(reading ? quick.readElementText(&got) : quick.skipElement(), ok);
                if (!ok)
                    break;
                QCOMPARE(got, reading ? expected : QString());
                QCOMPARE(quick.token(), slow.token());
                QCOMPARE(quick.tokenBegin(), slow.tokenBegin());
                QCOMPARE(quick.tokenEnd(), slow.tokenEnd());
                QCOMPARE(quick.depth(), slow.depth());
                QCOMPARE(quick.name().toByteArray(), slow.name().toByteArray());
                QCOMPARE(quick.localName().toByteArray(), slow.localName().toByteArray());
            }
        }
    }

    void nestingIsBoundedByTheLimit()
    {
        const int limit = workbook::limits::kMaxXmlDepth;
        QVERIFY(verdict(QByteArray("<a>").repeated(limit) + QByteArray("</a>").repeated(limit))
                    .isEmpty());
        QVERIFY(
            verdict(QByteArray("<a>").repeated(limit + 1) + QByteArray("</a>").repeated(limit + 1))
                .contains("nested at most"));
    }

    void splicerKeepsEveryByteOutsideItsRanges()
    {
        Splicer s;
        s.replace(6, 7, "X");
        s.insert(0, "<");
        s.replace(1, 3, QByteArray());
        QByteArray out;
        QVERIFY(s.apply("abcdefghij", &out));
        QCOMPARE(out, QByteArray("<adefXhij"));
        Splicer overlapping;
        overlapping.replace(1, 4, "x");
        overlapping.replace(3, 5, "y");
        QVERIFY(!overlapping.apply("abcdefghij", &out));
        Splicer sameOffset; // already in order: insertions at one offset keep their order
        sameOffset.insert(2, "1");
        sameOffset.insert(2, "2");
        sameOffset.replace(2, 3, "3");
        QVERIFY(sameOffset.apply("abcd", &out));
        QCOMPARE(out, QByteArray("ab123d"));
        Splicer beyond;
        beyond.replace(2, 11, "x");
        QVERIFY(!beyond.apply("abcdefghij", &out));
    }
};

QTEST_GUILESS_MAIN(XmlScannerTest)
#include "xmlscannertest.moc"
