#include "workbook/text/formulabartext.h"

#include <QtTest>
#include <cmath>

using namespace workbook::text;

class FormulaBarTextTest : public QObject
{
    Q_OBJECT

private slots:
    void numbersShowByTheirFormat()
    {
        QCOMPARE(FormulaBarText::number(0.07, NumberFormatKind::Percent, DateSystem::Date1900),
                 QStringLiteral("7%"));
        QCOMPARE(FormulaBarText::number(0.125, NumberFormatKind::Percent, DateSystem::Date1900),
                 QStringLiteral("12.5%"));
        QCOMPARE(FormulaBarText::number(45292.5, NumberFormatKind::Date, DateSystem::Date1900),
                 QStringLiteral("2024/1/1 12:00:00"));
        QCOMPARE(FormulaBarText::number(43830, NumberFormatKind::Date, DateSystem::Date1904),
                 QStringLiteral("2024/1/1"));
        QCOMPARE(FormulaBarText::number(0.25, NumberFormatKind::TimeOnly, DateSystem::Date1900),
                 QStringLiteral("6:00:00"));
        QCOMPARE(FormulaBarText::number(12.5, NumberFormatKind::General, DateSystem::Date1900),
                 QStringLiteral("12.5"));
    }

    void datesOutsideTheCalendarShowAsNumbers()
    {
        QCOMPARE(FormulaBarText::number(-3, NumberFormatKind::Date, DateSystem::Date1900),
                 QStringLiteral("-3"));
        QCOMPARE(FormulaBarText::number(3e7, NumberFormatKind::TimeOnly, DateSystem::Date1900),
                 QStringLiteral("30000000"));
        QCOMPARE(
            FormulaBarText::number(std::nan(""), NumberFormatKind::Percent, DateSystem::Date1900),
            QStringLiteral("#NUM!"));
    }

    void errorConstantsAreRecognised()
    {
        for (const char *e : {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"}) {
            QVERIFY(FormulaBarText::isErrorConstant(QString::fromLatin1(e)));
        }
        QVERIFY(!FormulaBarText::isErrorConstant(QStringLiteral("#n/a")));
        QCOMPARE(FormulaBarText::errorConstant(QStringLiteral("#n/a")), QStringLiteral("#N/A"));
        QVERIFY(FormulaBarText::errorConstant(QStringLiteral("#NA")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(FormulaBarTextTest)
#include "formulabartexttest.moc"
