#include "tests/workbook/contract/workbookbuilder.h"
#include "workbook/application.h"
#include "workbook/error.h"
#include "workbook/pagesetup.h"
#include "workbook/sheet.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

#include <QtTest>
#include <functional>

using workbook::Application;
using workbook::Error;
using workbook::Workbook;
using Style = WorkbookBuilder::Style;

// The editing rules as every format must serve them: find and replace, how a replaced cell is
// typed, renames and headers. Written against the object model alone; each format runs them
// through its own builder.
class EditContractTest : public QObject
{
    Q_OBJECT

private:
    // Builds the workbook in every format and hands it over, opened (a suite that changes it
    // skips the formats that cannot change workbooks yet); then again after a save
    // and a reopen when check asks for it through reopen().
    enum class Changes { No, Yes };
    void forEachFormat(const std::function<void(WorkbookBuilder &)> &describe,
                       const std::function<void(Workbook *, const QString &)> &check,
                       Changes changes = Changes::Yes)
    {
        for (const auto &builder : WorkbookBuilder::all()) {
            if (changes == Changes::Yes && !builder->changesRefused().isEmpty()) {
                qInfo("%s skipped: %s", qPrintable(builder->format()),
                      qPrintable(builder->changesRefused()));
                continue;
            }
            describe(*builder);
            m_changesRefused = builder->changesRefused();
            Application app;
            Error error;
            Workbook *wb = app.OpenFromMemory(builder->build(), &error);
            QVERIFY2(wb, qPrintable(builder->format() + ": " + error.toString()));
            check(wb, builder->format());
        }
    }

    // Why the format being checked cannot change a workbook yet; empty when it can.
    QString m_changesRefused;

    // The workbook as written by Save and read again.
    static Workbook *reopened(Application &app, Workbook *wb)
    {
        if (!wb->Save())
            return nullptr;
        return app.OpenFromMemory(wb->savedBytes());
    }

private slots:
    void findSeesTheFormulaBarText()
    {
        forEachFormat(
            [](WorkbookBuilder &b) {
                b.addSheet("Data");
                b.sharedText(1, 1, "Hello World");
                b.number(2, 1, 0.5, Style::Percent);
                b.boolean(3, 1, true);
                b.formula(4, 1, "SUM(A2:A3)", 1.5);
                b.number(5, 1, 45000, Style::Date);
            },
            [](Workbook *wb, const QString &format) {
                workbook::UsedRange *range = wb->Item(1)->usedRange();
                for (const char *hit : {"hello", "w*d", "50%", "TRUE", "=SUM(A2", "2023"})
                    QVERIFY2(range->Find(hit), qPrintable(format + ": " + hit));
                // A formula is seen as its formula, not its result; empty text finds nothing.
                for (const char *miss : {"1.5", "0.5", "Goodbye"})
                    QVERIFY2(!range->Find(miss), qPrintable(format + ": " + miss));
                QVERIFY(!range->Find(QString()));
                QVERIFY(!range->lastError().isSet());
            },
            Changes::No);
    }

    void replacedCellsAreTypedAsIfTyped()
    {
        forEachFormat(
            [](WorkbookBuilder &b) {
                b.addSheet("Data");
                b.ownText(1, 1, "n-1"); // becomes a number
                b.ownText(2, 1, "f-1"); // becomes a formula
                b.number(3, 1, 0.25, Style::Percent);
                b.ownText(4, 1, "keep me"); // stays text
            },
            [this](Workbook *wb, const QString &format) {
                workbook::UsedRange *range = wb->Item(1)->usedRange();
                QVERIFY(range->Replace("n-", "4"));
                QVERIFY(range->Replace("f-", "=40+"));
                QVERIFY(range->Replace("25%", "75%"));
                QVERIFY(range->Replace("me", "you"));
                Application again;
                Workbook *back = reopened(again, wb);
                QVERIFY2(back, qPrintable(format));
                workbook::UsedRange *r = back->Item(1)->usedRange();
                QVERIFY2(r->Find("41"), qPrintable(format)); // the number 41
                QVERIFY2(r->Find("=40+1"), qPrintable(format));
                QVERIFY2(r->Find("75%"), qPrintable(format));
                QVERIFY2(r->Find("keep you"), qPrintable(format));
                QVERIFY2(!r->Find("n-1") && !r->Find("f-1"), qPrintable(format));
            });
    }

    void sharedTextChangesOnlyWhereReplaced()
    {
        forEachFormat(
            [](WorkbookBuilder &b) {
                b.addSheet("One");
                b.sharedText(1, 1, "common");
                b.addSheet("Two");
                b.sharedText(1, 1, "common");
            },
            [this](Workbook *wb, const QString &format) {
                QVERIFY(wb->Item(1)->usedRange()->Replace("common", "changed"));
                Application again;
                Workbook *back = reopened(again, wb);
                QVERIFY2(back, qPrintable(format));
                QVERIFY2(back->Item(1)->usedRange()->Find("changed"), qPrintable(format));
                QVERIFY2(back->Item(2)->usedRange()->Find("common"), qPrintable(format));
                QVERIFY2(!back->Item(2)->usedRange()->Find("changed"), qPrintable(format));
            });
    }

    void lockedCellsOfAProtectedSheetAreFoundButNotChanged()
    {
        forEachFormat(
            [](WorkbookBuilder &b) {
                b.addSheet("Data");
                b.ownText(1, 1, "foo locked");
                b.sharedText(2, 1, "foo open", Style::Unlocked);
                b.protect();
            },
            [this](Workbook *wb, const QString &format) {
                workbook::UsedRange *range = wb->Item(1)->usedRange();
                QVERIFY(range->Replace("foo", "bar"));
                Application again;
                Workbook *back = reopened(again, wb);
                QVERIFY2(back, qPrintable(format));
                QVERIFY2(back->Item(1)->usedRange()->Find("foo locked"), qPrintable(format));
                QVERIFY2(back->Item(1)->usedRange()->Find("bar open"), qPrintable(format));
            });
    }

    void renamesFollowTheNamingRulesAndReferences()
    {
        forEachFormat(
            [](WorkbookBuilder &b) {
                b.addSheet("Data");
                b.number(1, 1, 7);
                b.addSheet("Report");
                b.formula(1, 1, "Data!A1*2", 14);
            },
            [this](Workbook *wb, const QString &format) {
                Error error;
                for (const char *refused : {"", "a:b", "report", "History", "'x",
                                            "This name is much too long for a tab"}) {
                    QVERIFY2(!wb->Item(1)->SetName(refused, &error),
                             qPrintable(format + ": " + refused));
                    QCOMPARE(error.kind, Error::Kind::Rejected);
                }
                QCOMPARE(wb->Item(1)->Name(), QString("Data"));
                QVERIFY(!wb->isModified());
                if (!m_changesRefused.isEmpty()) {
                    qInfo("%s: %s", qPrintable(format), qPrintable(m_changesRefused));
                    QVERIFY(!wb->Item(1)->SetName("Q1 data", &error));
                    QCOMPARE(error.kind, Error::Kind::UnsupportedFormat);
                    QCOMPARE(wb->Item(1)->Name(), QString("Data"));
                    QVERIFY2(wb->Item(2)->usedRange()->Find("=Data!A1*2"), qPrintable(format));
                    return;
                }
                QVERIFY(wb->Item(1)->SetName("Q1 data", &error));
                Application again;
                Workbook *back = reopened(again, wb);
                QVERIFY2(back, qPrintable(format));
                QCOMPARE(back->Item(1)->Name(), QString("Q1 data"));
                QVERIFY2(back->Item(2)->usedRange()->Find("='Q1 data'!A1*2"), qPrintable(format));
            },
            Changes::No);
    }

    void headerSectionsAreSetAndLimited()
    {
        forEachFormat(
            [](WorkbookBuilder &b) {
                b.addSheet("Data");
                b.header("&LLeft&CMiddle");
            },
            [this](Workbook *wb, const QString &format) {
                workbook::PageSetup *page = wb->Item(1)->pageSetup();
                QCOMPARE(page->LeftHeader(), QString("Left"));
                QCOMPARE(page->CenterHeader(), QString("Middle"));
                Error error;
                QVERIFY(!page->setSection(workbook::HeaderFooterSection::LeftHeader,
                                          QString(300, 'x'), &error));
                QCOMPARE(error.kind, Error::Kind::BeyondLimit);
                if (!m_changesRefused.isEmpty()) {
                    qInfo("%s: %s", qPrintable(format), qPrintable(m_changesRefused));
                    QVERIFY(!page->setSection(workbook::HeaderFooterSection::RightHeader, "Page &P",
                                              &error));
                    QCOMPARE(error.kind, Error::Kind::UnsupportedFormat);
                    QCOMPARE(page->RightHeader(), QString());
                    return;
                }
                QVERIFY(page->SetRightHeader("Page &P"));
                Application again;
                Workbook *back = reopened(again, wb);
                QVERIFY2(back, qPrintable(format));
                workbook::PageSetup *p = back->Item(1)->pageSetup();
                QCOMPARE(p->LeftHeader(), QString("Left"));
                QCOMPARE(p->RightHeader(), QString("Page &P"));
            },
            Changes::No);
    }
};

QTEST_GUILESS_MAIN(EditContractTest)
#include "editcontracttest.moc"
