#include "workbook/text/headerfootertext.h"

#include <QtTest>

using namespace workbook::text;

using Section = HeaderFooterText::Section;

class HeaderFooterTextTest : public QObject
{
    Q_OBJECT

private slots:
    void parseSplitsIntoSections_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("center");
        QTest::addColumn<QString>("right");
        QTest::newRow("all three") << "&LLeft&CMid&RRight"
                                   << "Left"
                                   << "Mid"
                                   << "Right";
        QTest::newRow("text before a code is centre") << "Title&RPage &P"
                                                      << ""
                                                      << "Title"
                                                      << "Page &P";
        QTest::newRow("double ampersand is no code") << "&LA&&Co&&R"
                                                     << "A&&Co&&R"
                                                     << ""
                                                     << "";
        QTest::newRow("formatting codes stay") << "&L&\"Arial,Bold\"&12Report&K00FF00x"
                                               << "&\"Arial,Bold\"&12Report&K00FF00x"
                                               << ""
                                               << "";
        QTest::newRow("section code inside a font name") << "&L&\"A&Rb\"x"
                                                         << "&\"A&Rb\"x"
                                                         << ""
                                                         << "";
        QTest::newRow("repeated code continues") << "&La&Cb&Lc"
                                                 << "ac"
                                                 << "b"
                                                 << "";
        QTest::newRow("trailing ampersand") << "&Rx&"
                                            << ""
                                            << ""
                                            << "x&";
        QTest::newRow("lower case is not a section") << "&lx"
                                                     << ""
                                                     << "&lx"
                                                     << "";
        QTest::newRow("empty") << ""
                               << ""
                               << ""
                               << "";
    }
    void parseSplitsIntoSections()
    {
        QFETCH(QString, text);
        QFETCH(QString, left);
        QFETCH(QString, center);
        QFETCH(QString, right);
        const HeaderFooterText h = HeaderFooterText::parse(text);
        QCOMPARE(h.section(Section::Left), left);
        QCOMPARE(h.section(Section::Center), center);
        QCOMPARE(h.section(Section::Right), right);
    }

    void writingASectionRebuildsTheText()
    {
        QString out;
        QVERIFY(HeaderFooterText::withSection(QStringLiteral("Title&RPage &P"), Section::Left,
                                              QStringLiteral("A&&B"), &out));
        QCOMPARE(out, QStringLiteral("&LA&&B&CTitle&RPage &P"));
        QVERIFY(HeaderFooterText::withSection(out, Section::Center, QString(), &out));
        QCOMPARE(out, QStringLiteral("&LA&&B&RPage &P"));
        QVERIFY(HeaderFooterText::withSection(QString(), Section::Center, QStringLiteral("Page A"),
                                              &out));
        QCOMPARE(out, QStringLiteral("&CPage A"));
        QVERIFY(
            HeaderFooterText::withSection(QStringLiteral("&Cx"), Section::Center, QString(), &out));
        QCOMPARE(out, QString());
    }

    void resultsOverTheLimitAreRefused()
    {
        QString out = QStringLiteral("kept");
        const QString fits(HeaderFooterText::kMaxLength - 2, QLatin1Char('x'));
        QVERIFY(HeaderFooterText::withSection(QString(), Section::Right, fits, &out));
        QCOMPARE(out.size(), HeaderFooterText::kMaxLength);
        out = QStringLiteral("kept");
        QVERIFY(!HeaderFooterText::withSection(QString(), Section::Right, fits + QLatin1Char('x'),
                                               &out));
        QCOMPARE(out, QStringLiteral("kept"));
    }
};

QTEST_GUILESS_MAIN(HeaderFooterTextTest)
#include "headerfootertexttest.moc"
