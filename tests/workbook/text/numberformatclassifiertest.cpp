#include "workbook/text/numberformatclassifier.h"

#include <QtTest>

using namespace workbook::text;

Q_DECLARE_METATYPE(NumberFormatKind)

class NumberFormatClassifierTest : public QObject
{
    Q_OBJECT

private slots:
    void builtInIdsHaveTheirExcelMeaning_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<NumberFormatKind>("kind");
        QTest::newRow("general") << 0 << NumberFormatKind::General;
        QTest::newRow("0.00") << 2 << NumberFormatKind::General;
        QTest::newRow("0%") << 9 << NumberFormatKind::Percent;
        QTest::newRow("0.00%") << 10 << NumberFormatKind::Percent;
        QTest::newRow("scientific") << 11 << NumberFormatKind::General;
        QTest::newRow("m/d/yyyy") << 14 << NumberFormatKind::Date;
        QTest::newRow("h:mm AM/PM") << 18 << NumberFormatKind::TimeOnly;
        QTest::newRow("m/d/yy h:mm") << 22 << NumberFormatKind::Date;
        QTest::newRow("east asian date") << 31 << NumberFormatKind::Date;
        QTest::newRow("east asian time") << 32 << NumberFormatKind::TimeOnly;
        QTest::newRow("mm:ss") << 45 << NumberFormatKind::TimeOnly;
        QTest::newRow("[h]:mm:ss") << 46 << NumberFormatKind::TimeOnly;
        QTest::newRow("text") << 49 << NumberFormatKind::General;
        QTest::newRow("unknown custom id without code") << 200 << NumberFormatKind::General;
    }
    void builtInIdsHaveTheirExcelMeaning()
    {
        QFETCH(int, id);
        QFETCH(NumberFormatKind, kind);
        QCOMPARE(NumberFormatClassifier::classify(id, {}), kind);
    }

    void formatCodesAreRead_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<NumberFormatKind>("kind");
        QTest::newRow("General") << "General" << NumberFormatKind::General;
        QTest::newRow("currency with colour")
            << "#,##0.00_);[Red](#,##0.00)" << NumberFormatKind::General;
        QTest::newRow("scientific E") << "0.00E+00" << NumberFormatKind::General;
        QTest::newRow("percent") << "0.0%" << NumberFormatKind::Percent;
        QTest::newRow("quoted percent") << "0\"%\"" << NumberFormatKind::General;
        QTest::newRow("escaped percent") << "0\\%" << NumberFormatKind::General;
        QTest::newRow("iso date") << "yyyy-mm-dd" << NumberFormatKind::Date;
        QTest::newRow("month only") << "mmmm" << NumberFormatKind::Date;
        QTest::newRow("date time") << "yyyy/m/d h:mm:ss" << NumberFormatKind::Date;
        QTest::newRow("minutes after hours") << "h:mm" << NumberFormatKind::TimeOnly;
        QTest::newRow("minutes before seconds") << "mm:ss" << NumberFormatKind::TimeOnly;
        QTest::newRow("elapsed hours") << "[h]:mm" << NumberFormatKind::TimeOnly;
        QTest::newRow("am pm") << "h AM/PM" << NumberFormatKind::TimeOnly;
        QTest::newRow("locale tag") << "[$-804]yyyy\"年\"m\"月\"d\"日\"" << NumberFormatKind::Date;
        QTest::newRow("chinese time") << "h\"时\"mm\"分\"" << NumberFormatKind::TimeOnly;
        QTest::newRow("chinese am pm")
            << QString::fromUtf8("上午/下午h\"时\"mm\"分\"") << NumberFormatKind::TimeOnly;
        QTest::newRow("quoted letters") << "0.0 \"days\"" << NumberFormatKind::General;
        QTest::newRow("code overrides id") << "0%" << NumberFormatKind::Percent;
    }
    void formatCodesAreRead()
    {
        QFETCH(QString, code);
        QFETCH(NumberFormatKind, kind);
        QCOMPARE(NumberFormatClassifier::classify(14, code), kind);
    }
};

QTEST_GUILESS_MAIN(NumberFormatClassifierTest)
#include "numberformatclassifiertest.moc"
