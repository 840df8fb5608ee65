#include "workbook/text/sheetnamerules.h"

#include <QtTest>

using namespace workbook::text;

Q_DECLARE_METATYPE(SheetNameRules::Verdict)

class SheetNameRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void checkAppliesExcelRules_data()
    {
        using V = SheetNameRules::Verdict;
        QTest::addColumn<QString>("name");
        QTest::addColumn<V>("verdict");
        QTest::newRow("ordinary") << "Summary 2024" << V::Ok;
        QTest::newRow("chinese") << QString::fromUtf8("汇总表") << V::Ok;
        QTest::newRow("quote inside") << "It's" << V::Ok;
        QTest::newRow("31 characters") << QString(31, QLatin1Char('a')) << V::Ok;
        QTest::newRow("32 characters") << QString(32, QLatin1Char('a')) << V::TooLong;
        QTest::newRow("empty") << "" << V::Empty;
        QTest::newRow("colon") << "a:b" << V::ForbiddenCharacter;
        QTest::newRow("backslash") << "a\\b" << V::ForbiddenCharacter;
        QTest::newRow("slash") << "a/b" << V::ForbiddenCharacter;
        QTest::newRow("question mark") << "a?" << V::ForbiddenCharacter;
        QTest::newRow("star") << "*" << V::ForbiddenCharacter;
        QTest::newRow("brackets") << "[a]" << V::ForbiddenCharacter;
        QTest::newRow("leading quote") << "'a" << V::QuoteAtEnd;
        QTest::newRow("trailing quote") << "a'" << V::QuoteAtEnd;
        QTest::newRow("history") << "hIsToRy" << V::Reserved;
        QTest::newRow("history with more") << "History2" << V::Ok;
        QTest::newRow("control character") << QStringLiteral("a\tb") << V::ControlCharacter;
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << V::ControlCharacter;
        QTest::newRow("surrogate pair") << QString::fromUtf8("\xF0\xA0\x80\x80") << V::Ok;
    }
    void checkAppliesExcelRules()
    {
        QFETCH(QString, name);
        QFETCH(SheetNameRules::Verdict, verdict);
        QCOMPARE(SheetNameRules::checkName(name), verdict);
    }

    void uniquenessIgnoresCaseButNotTheSheetItself()
    {
        using V = SheetNameRules::Verdict;
        const QStringList names{QStringLiteral("Sheet1"), QStringLiteral("Data"),
                                QString::fromUtf8("Σύνοψη")};
        QCOMPARE(SheetNameRules::check(QStringLiteral("DATA"), names, 0), V::Duplicate);
        QCOMPARE(SheetNameRules::check(QStringLiteral("DATA"), names, 1), V::Ok);
        QCOMPARE(SheetNameRules::check(QString::fromUtf8("ΣΎΝΟΨΗ"), names, 0), V::Duplicate);
        QCOMPARE(SheetNameRules::check(QStringLiteral("New"), names, -1), V::Ok);
        QCOMPARE(SheetNameRules::check(QStringLiteral("sheet1"), names, -1), V::Duplicate);
    }
};

QTEST_GUILESS_MAIN(SheetNameRulesTest)
#include "sheetnamerulestest.moc"
