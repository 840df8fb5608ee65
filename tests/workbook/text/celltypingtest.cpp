#include "workbook/text/celltyping.h"

#include <QtTest>

using namespace workbook::text;

using Was = CellTyping::Was;
using Becomes = CellTyping::Becomes;

class CellTypingTest : public QObject
{
    Q_OBJECT

private slots:
    void textStaysText()
    {
        const CellTyping::Result r = CellTyping::retype(Was::Text, QStringLiteral("00123"));
        QCOMPARE(r.becomes, Becomes::Text);
        QCOMPARE(r.text, QStringLiteral("00123"));
        QCOMPARE(CellTyping::retype(Was::Text, QStringLiteral("=A1")).becomes, Becomes::Text);
        QCOMPARE(CellTyping::retype(Was::Text, QStringLiteral("TRUE")).becomes, Becomes::Text);
    }

    void emptyTextEmptiesTheCell()
    {
        QCOMPARE(CellTyping::retype(Was::Text, QString()).becomes, Becomes::Empty);
        QCOMPARE(CellTyping::retype(Was::Number, QString()).becomes, Becomes::Empty);
    }

    void numbersKeepTheirTypeOnlyInTheSameForm()
    {
        CellTyping::Result r = CellTyping::retype(Was::Number, QStringLiteral("1.75"));
        QCOMPARE(r.becomes, Becomes::Number);
        QCOMPARE(r.number, 1.75);
        QCOMPARE(CellTyping::retype(Was::Number, QStringLiteral("1.7x")).becomes, Becomes::Text);

        r = CellTyping::retype(Was::Number, QStringLiteral("12.5%"), NumberFormatKind::Percent);
        QCOMPARE(r.becomes, Becomes::Number);
        QCOMPARE(r.number, 0.125);
        QCOMPARE(CellTyping::retype(Was::Number, QStringLiteral("12.5"), NumberFormatKind::Percent)
                     .becomes,
                 Becomes::Text);

        r = CellTyping::retype(Was::Number, QStringLiteral("2024/1/1"), NumberFormatKind::Date,
                               DateSystem::Date1904);
        QCOMPARE(r.becomes, Becomes::Number);
        QCOMPARE(r.number, 43830.0);
        QCOMPARE(
            CellTyping::retype(Was::Number, QStringLiteral("2024/1/1 Bar"), NumberFormatKind::Date)
                .becomes,
            Becomes::Text);
        r = CellTyping::retype(Was::Number, QStringLiteral("6:00:00"), NumberFormatKind::TimeOnly);
        QCOMPARE(r.number, 0.25);
    }

    void booleansAcceptAnyCase()
    {
        CellTyping::Result r = CellTyping::retype(Was::Boolean, QStringLiteral("false"));
        QCOMPARE(r.becomes, Becomes::Boolean);
        QCOMPARE(r.boolean, false);
        r = CellTyping::retype(Was::Boolean, QStringLiteral("True"));
        QCOMPARE(r.boolean, true);
        QCOMPARE(CellTyping::retype(Was::Boolean, QStringLiteral("TRUEX")).becomes, Becomes::Text);
    }

    void errorsStayErrorsOnlyAsErrorConstants()
    {
        const CellTyping::Result r = CellTyping::retype(Was::Error, QStringLiteral("#ref!"));
        QCOMPARE(r.becomes, Becomes::Error);
        QCOMPARE(r.text, QStringLiteral("#REF!"));
        QCOMPARE(CellTyping::retype(Was::Error, QStringLiteral("#Bar!")).becomes, Becomes::Text);
    }

    void formulasStayFormulasWhileTheyStartWithEquals()
    {
        CellTyping::Result r = CellTyping::retype(Was::Formula, QStringLiteral("=SUM(B1:B3)"));
        QCOMPARE(r.becomes, Becomes::Formula);
        QCOMPARE(r.text, QStringLiteral("SUM(B1:B3)"));
        r = CellTyping::retype(Was::Formula, QStringLiteral("42"));
        QCOMPARE(r.becomes, Becomes::Number);
        QCOMPARE(CellTyping::retype(Was::Formula, QStringLiteral("SUM(B1)")).becomes,
                 Becomes::Text);
    }

    void contentBreakingALimitLeavesTheCellAlone()
    {
        QCOMPARE(CellTyping::retype(Was::Formula, QStringLiteral("=SUM(B1")).becomes,
                 Becomes::Unchanged);
        QCOMPARE(CellTyping::retype(Was::Formula, QStringLiteral("=\"abc")).becomes,
                 Becomes::Unchanged);
        QCOMPARE(CellTyping::retype(Was::Formula, QStringLiteral("=")).becomes, Becomes::Unchanged);
        QCOMPARE(CellTyping::retype(Was::Formula, QStringLiteral("==1")).becomes,
                 Becomes::Unchanged);
        const QString longFormula = QLatin1Char('=') + QString(8193, QLatin1Char('1'));
        QCOMPARE(CellTyping::retype(Was::Formula, longFormula).becomes, Becomes::Unchanged);
        const QString longText(CellTyping::kMaxTextLength + 1, QLatin1Char('x'));
        QCOMPARE(CellTyping::retype(Was::Text, longText).becomes, Becomes::Unchanged);
        QCOMPARE(CellTyping::retype(Was::Text, longText.left(CellTyping::kMaxTextLength)).becomes,
                 Becomes::Text);
    }
};

QTEST_GUILESS_MAIN(CellTypingTest)
#include "celltypingtest.moc"
