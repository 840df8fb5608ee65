#include "workbook/text/datetext.h"

#include <QtTest>

using namespace workbook::text;

class DateTextTest : public QObject
{
    Q_OBJECT

private slots:
    void formatShowsExcelDates_data()
    {
        QTest::addColumn<double>("serial");
        QTest::addColumn<bool>("date1904");
        QTest::addColumn<bool>("timeOnly");
        QTest::addColumn<QString>("text");
        QTest::newRow("first day") << 1.0 << false << false << "1900/1/1";
        QTest::newRow("day zero") << 0.0 << false << false << "1900/1/0";
        QTest::newRow("before the fictitious leap day") << 59.0 << false << false << "1900/2/28";
        QTest::newRow("fictitious leap day") << 60.0 << false << false << "1900/2/29";
        QTest::newRow("after the fictitious leap day") << 61.0 << false << false << "1900/3/1";
        QTest::newRow("modern date") << 45292.0 << false << false << "2024/1/1";
        QTest::newRow("date with time") << 45292.75 << false << false << "2024/1/1 18:00:00";
        QTest::newRow("time rounds to the second")
            << 45292.0 + 1.4 / 86400 << false << false << "2024/1/1 0:00:01";
        QTest::newRow("time rounding reaches midnight")
            << 45292.999999999 << false << false << "2024/1/2";
        QTest::newRow("last day") << 2958465.0 << false << false << "9999/12/31";
        QTest::newRow("1904 day zero") << 0.0 << true << false << "1904/1/1";
        QTest::newRow("1904 system") << 43830.0 << true << false << "2024/1/1";
        QTest::newRow("time only") << 0.5 + 61.0 / 86400 << false << true << "12:01:01";
        QTest::newRow("time only keeps whole days") << 1.25 << false << true << "1900/1/1 6:00:00";
        QTest::newRow("time only midnight") << 0.0 << false << true << "0:00:00";
    }
    void formatShowsExcelDates()
    {
        QFETCH(double, serial);
        QFETCH(bool, date1904);
        QFETCH(bool, timeOnly);
        QFETCH(QString, text);
        QCOMPARE(DateText::format(serial, date1904 ? DateSystem::Date1904 : DateSystem::Date1900,
                                  timeOnly),
                 text);
    }

    void formatRefusesSerialsOutsideTheCalendar()
    {
        QVERIFY(DateText::format(-1, DateSystem::Date1900, false).isEmpty());
        QVERIFY(DateText::format(2958466.0, DateSystem::Date1900, false).isEmpty());
        QVERIFY(DateText::format(2958465.9999999999, DateSystem::Date1900, false).isEmpty());
        QVERIFY(DateText::format(std::nan(""), DateSystem::Date1904, false).isEmpty());
    }

    void parseReadsTheShownForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("date1904");
        QTest::addColumn<double>("serial"); // -1: not a date
        QTest::newRow("date") << "2024/1/1" << false << 45292.0;
        QTest::newRow("padded date") << "2024/01/01" << false << 45292.0;
        QTest::newRow("date time") << "2024/1/1 18:00:00" << false << 45292.75;
        QTest::newRow("date time without seconds") << "2024/1/1 18:00" << false << 45292.75;
        QTest::newRow("time only") << "12:00:00" << false << 0.5;
        QTest::newRow("fictitious leap day") << "1900/2/29" << false << 60.0;
        QTest::newRow("day after it") << "1900/3/1" << false << 61.0;
        QTest::newRow("day zero") << "1900/1/0" << false << 0.0;
        QTest::newRow("1904") << "2024/1/1" << true << 43830.0;
        QTest::newRow("1904 has no 1900 leap day") << "1900/2/29" << true << -1.0;
        QTest::newRow("before 1904 epoch") << "1903/12/31" << true << -1.0;
        QTest::newRow("real leap day") << "2024/2/29" << false << 45351.0;
        QTest::newRow("no such leap day") << "2023/2/29" << false << -1.0;
        QTest::newRow("month 13") << "2024/13/1" << false << -1.0;
        QTest::newRow("hour 24") << "24:00:00" << false << -1.0;
        QTest::newRow("minute 60") << "1:60" << false << -1.0;
        QTest::newRow("two digit year") << "24/1/1" << false << -1.0;
        QTest::newRow("dashes") << "2024-1-1" << false << -1.0;
        QTest::newRow("trailing text") << "2024/1/1x" << false << -1.0;
        QTest::newRow("plain number") << "45292" << false << -1.0;
    }
    void parseReadsTheShownForms()
    {
        QFETCH(QString, text);
        QFETCH(bool, date1904);
        QFETCH(double, serial);
        const std::optional<double> v =
            DateText::parse(text, date1904 ? DateSystem::Date1904 : DateSystem::Date1900);
        QCOMPARE(v.has_value(), serial >= 0);
        if (v) {
            QCOMPARE(*v, serial);
        }
    }

    void everyShownDateReadsBack()
    {
        for (double serial = 1; serial < 2958466; serial += 997.25) {
            const QString text = DateText::format(serial, DateSystem::Date1900, false);
            QCOMPARE(DateText::parse(text, DateSystem::Date1900).value_or(-1), serial);
        }
    }
};

QTEST_GUILESS_MAIN(DateTextTest)
#include "datetexttest.moc"
