#include "workbook/text/structuredreferencerename.h"

#include <QtTest>

using namespace workbook::text;

class StructuredReferenceRenameTest : public QObject
{
    Q_OBJECT

private slots:
    void renameRewritesEveryFormOfReference_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<bool>("inside");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole column")
            << "SUM(销售表[旧公司金额])" << false << "SUM(销售表[新公司金额])";
        QTest::newRow("this row") << "销售表[[#This Row],[旧公司金额]]*2" << false
                                  << "销售表[[#This Row],[新公司金额]]*2";
        QTest::newRow("column range")
            << "SUM(销售表[[旧公司金额]:[数量]])" << false << "SUM(销售表[[新公司金额]:[数量]])";
        QTest::newRow("at column") << "销售表[@旧公司金额]" << false << "销售表[@新公司金额]";
        QTest::newRow("at bracketed column")
            << "销售表[@[旧公司金额]]" << false << "销售表[@[新公司金额]]";
        QTest::newRow("any case") << "sum(销售表[旧公司金额])+销售表[旧公司金额]" << false
                                  << "sum(销售表[新公司金额])+销售表[新公司金额]";
        QTest::newRow("unqualified inside the table")
            << "SUBTOTAL(109,[旧公司金额])+[@旧公司金额]" << true
            << "SUBTOTAL(109,[新公司金额])+[@新公司金额]";
        QTest::newRow("unqualified outside the table")
            << "SUBTOTAL(109,[旧公司金额])" << false << "";
        QTest::newRow("another table") << "其他表[旧公司金额]" << false << "";
        QTest::newRow("string literal") << "\"销售表[旧公司金额]\"&A1" << false << "";
        QTest::newRow("special item kept")
            << "销售表[[#Totals],[旧公司金额]]" << false << "销售表[[#Totals],[新公司金额]]";
        QTest::newRow("bare column after an item")
            << "销售表[[#This Row],旧公司金额]" << false << "销售表[[#This Row],新公司金额]";
        QTest::newRow("headers only") << "销售表[#Headers]" << false << "";
    }
    void renameRewritesEveryFormOfReference()
    {
        QFETCH(QString, formula);
        QFETCH(bool, inside);
        QFETCH(QString, expected);
        const std::optional<QString> r = StructuredReferenceRename::renameColumn(
            formula, u"销售表", u"旧公司金额", u"新公司金额", inside);
        QCOMPARE(r.value_or(QString()), expected);
    }

    void namesWithSpecialCharactersAreEscaped()
    {
        const auto r = StructuredReferenceRename::renameColumn(u"SUM(T[a])+T[[#This Row],[a]]",
                                                               u"T", u"A", u"Q1 [#'x]", false);
        QCOMPARE(r.value_or(QString()),
                 QStringLiteral("SUM(T[[Q1 '['#''x']]])+T[[#This Row],[Q1 '['#''x']]]"));
        const auto back =
            StructuredReferenceRename::renameColumn(*r, u"T", u"Q1 [#'x]", u"b", false);
        QCOMPARE(back.value_or(QString()), QStringLiteral("SUM(T[[b]])+T[[#This Row],[b]]"));
    }
};

QTEST_GUILESS_MAIN(StructuredReferenceRenameTest)
#include "structuredreferencerenametest.moc"
