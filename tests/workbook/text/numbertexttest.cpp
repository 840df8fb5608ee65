#include "workbook/text/numbertext.h"

#include <QtTest>
#include <cmath>
#include <limits>

using namespace workbook::text;

class NumberTextTest : public QObject
{
    Q_OBJECT

private slots:
    void formatShowsFifteenSignificantDigits_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("integer") << 42.0 << "42";
        QTest::newRow("no trailing zeros") << 1.5 << "1.5";
        QTest::newRow("binary noise rounded away") << 0.1 + 0.2 << "0.3";
        QTest::newRow("negative") << -1234.25 << "-1234.25";
        QTest::newRow("fifteen digits kept") << 123456789012345.0 << "123456789012345";
        QTest::newRow("sixteenth digit rounded") << 1234567890.1234567 << "1234567890.12346";
        QTest::newRow("smallest plain decimal") << 1e-9 << "0.000000001";
        QTest::newRow("small plain with digits") << 1.25e-7 << "0.000000125";
        QTest::newRow("below plain range") << 1.5e-10 << "1.5E-10";
        QTest::newRow("largest plain decimal") << 999999999999999.0 << "999999999999999";
        QTest::newRow("1E15 goes scientific") << 1e15 << "1E+15";
        QTest::newRow("rounds up into scientific") << 999999999999999.9 << "1E+15";
        QTest::newRow("large scientific") << 1.234567890123456e18 << "1.23456789012346E+18";
        QTest::newRow("three digit exponent") << 1.5e300 << "1.5E+300";
        QTest::newRow("negative scientific") << -2.5e-20 << "-2.5E-20";
        QTest::newRow("not finite") << std::numeric_limits<double>::infinity() << "#NUM!";
        QTest::newRow("nan") << std::nan("") << "#NUM!";
    }
    void formatShowsFifteenSignificantDigits()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(NumberText::format(value), text);
    }

    void parseReadsOnlyPlainNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("value");
        QTest::newRow("integer") << "42" << true << 42.0;
        QTest::newRow("leading zeros") << "007" << true << 7.0;
        QTest::newRow("signed") << "-1.5" << true << -1.5;
        QTest::newRow("plus sign") << "+3" << true << 3.0;
        QTest::newRow("fraction only") << ".5" << true << 0.5;
        QTest::newRow("exponent") << "1.5E+3" << true << 1500.0;
        QTest::newRow("lower-case exponent") << "2e-2" << true << 0.02;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("sign only") << "-" << false << 0.0;
        QTest::newRow("dot only") << "." << false << 0.0;
        QTest::newRow("space") << " 1" << false << 0.0;
        QTest::newRow("thousands separator") << "1,000" << false << 0.0;
        QTest::newRow("trailing text") << "12abc" << false << 0.0;
        QTest::newRow("exponent without digits") << "1E" << false << 0.0;
        QTest::newRow("overflow") << "1E400" << false << 0.0;
        QTest::newRow("full width digits") << QString::fromUtf8("１２") << false << 0.0;
    }
    void parseReadsOnlyPlainNumbers()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(double, value);
        const std::optional<double> v = NumberText::parse(text);
        QCOMPARE(v.has_value(), ok);
        if (ok) {
            QCOMPARE(*v, value);
        }
    }

    void formattedTextReadsBackToTheSameText()
    {
        for (double v : {1.0 / 3, -2.0 / 7, 1e-9, 3.14159e-12, 6.02214076e23, 123456.789}) {
            const QString text = NumberText::format(v);
            const std::optional<double> back = NumberText::parse(text);
            QVERIFY2(back.has_value(), qPrintable(text));
            QCOMPARE(NumberText::format(*back), text);
        }
    }
};

QTEST_GUILESS_MAIN(NumberTextTest)
#include "numbertexttest.moc"
