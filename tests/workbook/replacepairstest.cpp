#include "tests/workbook/support/testworkbook.h"
#include "tests/workbook/support/zipcontents.h"
#include "workbook/application.h"
#include "workbook/sheet.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using workbook::Application;
using workbook::Error;
using workbook::Workbook;

// Many pairs replaced in one call give exactly what Find and Replace of each pair in turn give.
class ReplacePairsTest : public QObject
{
    Q_OBJECT

private:
    struct Result {
        bool found = false;
        QString failure;
        QMap<QString, QByteArray> parts; // empty when nothing was written
    };

    // Every sheet, pair by pair, as the runs did before the server took the pairs at once.
    static void pairByPair(Workbook *wb, const QStringList &what, const QStringList &with,
                           bool justShow, Result *r)
    {
        for (int s = 1; s <= wb->Count() && r->failure.isEmpty(); ++s) {
            workbook::UsedRange *range = wb->Item(s)->usedRange();
            if (!range)
                continue;
            for (int p = 0; p < what.size(); ++p) {
                Error e;
                if (!r->found && range->Find(what.at(p), &e))
                    r->found = true;
                if (!e.isSet() && !justShow)
                    range->Replace(what.at(p), with.at(p), &e);
                if (e.isSet()) {
                    r->failure = e.toString();
                    break;
                }
            }
        }
    }

    static void allPairs(Workbook *wb, const QStringList &what, const QStringList &with,
                         bool justShow, Result *r)
    {
        for (int s = 1; s <= wb->Count() && r->failure.isEmpty(); ++s) {
            workbook::UsedRange *range = wb->Item(s)->usedRange();
            Error e;
            if (range && !range->ReplacePairs(what, with, justShow, &r->found, &e))
                r->failure = e.toString();
        }
    }

    Result run(const QByteArray &package, bool byPair, const QStringList &what,
               const QStringList &with, bool justShow)
    {
        Application app;
        Result r;
        Workbook *wb = app.OpenFromMemory(package);
        if (!wb)
            return r;
        if (byPair)
            pairByPair(wb, what, with, justShow, &r);
        else
            allPairs(wb, what, with, justShow, &r);
        if (r.failure.isEmpty() && wb->isModified()) {
            QString reason;
            if (!wb->Save(&reason)) {
                r.failure = QStringLiteral("save: ") + reason;
                return r;
            }
            const QString path = m_dir.filePath(QStringLiteral("saved.xlsx"));
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly) || f.write(wb->savedBytes()) < 0)
                return r;
            f.close();
            for (const QString &name : ZipContents::names(path))
                r.parts.insert(name, ZipContents::entry(path, name));
        }
        return r;
    }

    void compareBoth(const QByteArray &package, const QStringList &what, const QStringList &with,
                     bool justShow, int *changedCount = nullptr)
    {
        const Result expected = run(package, true, what, with, justShow);
        const Result actual = run(package, false, what, with, justShow);
        const QString pairs = what.join(u'|') + QStringLiteral(" -> ") + with.join(u'|');
        QVERIFY2(actual.found == expected.found, qPrintable(pairs));
        QVERIFY2(actual.failure == expected.failure,
                 qPrintable(pairs + ": " + actual.failure + " / " + expected.failure));
        QVERIFY2(actual.parts.keys() == expected.parts.keys(), qPrintable(pairs));
        for (auto it = expected.parts.begin(); it != expected.parts.end(); ++it)
            QVERIFY2(actual.parts.value(it.key()) == it.value(),
                     qPrintable(pairs + ": " + it.key()));
        if (changedCount && !expected.parts.isEmpty())
            ++*changedCount;
    }

    static QString randomText(QRandomGenerator &g, const QStringList &pieces, int min, int max)
    {
        QString s;
        for (int k = min + int(g.bounded(max - min + 1)); k > 0; --k)
            s += pieces.at(int(g.bounded(pieces.size())));
        return s;
    }

    static QByteArray escaped(const QString &text) { return text.toHtmlEscaped().toUtf8(); }

    // Two sheets over one string table (strings used on both, and twice on one), inline and
    // rich text, numbers as numbers, percentages and dates, booleans and formulas.
    static QByteArray randomWorkbook(QRandomGenerator &g, const QStringList &pieces)
    {
        TestWorkbook t;
        for (int k = 0; k < 8; ++k)
            t.sharedStrings << randomText(g, pieces, 1, 4);
        for (int s = 0; s < 2; ++s) {
            QByteArray data;
            for (int row = 1; row <= 6; ++row) {
                const QByteArray r = QByteArray::number(row);
                data += "<row r=\"" + r + "\">";
                const char *columns[] = {"A", "B", "C", "D", "E"};
                for (const char *column : columns) {
                    const QByteArray ref = column + r;
                    switch (g.bounded(9)) {
                    case 0:
                    case 1:
                    case 2:
                        data += "<c r=\"" + ref + "\" t=\"s\"><v>" +
                                QByteArray::number(g.bounded(t.sharedStrings.size())) + "</v></c>";
                        break;
                    case 3:
                        data += "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" +
                                escaped(randomText(g, pieces, 1, 5)) + "</t></is></c>";
                        break;
                    case 4:
                        data += "<c r=\"" + ref + "\" t=\"inlineStr\"><is><r><rPr><b/></rPr><t>" +
                                escaped(randomText(g, pieces, 1, 2)) + "</t></r><r><t>" +
                                escaped(randomText(g, pieces, 1, 2)) + "</t></r></is></c>";
                        break;
                    case 5:
                        data += "<c r=\"" + ref + "\" s=\"" + QByteArray::number(g.bounded(3)) +
                                "\"><v>" + QByteArray::number(g.bounded(50000)) + "</v></c>";
                        break;
                    case 6:
                        data += "<c r=\"" + ref + "\" t=\"b\"><v>" +
                                QByteArray::number(g.bounded(2)) + "</v></c>";
                        break;
                    case 7:
                        data += "<c r=\"" + ref + "\"><f>LEN(\"" +
                                escaped(randomText(g, pieces, 1, 3)) + "\")</f><v>1</v></c>";
                        break;
                    default:
                        break;
                    }
                }
                data += "</row>";
            }
            t.addSheet(QStringLiteral("S%1").arg(s + 1), TestWorkbook::worksheet(data));
        }
        return t.build();
    }

    QTemporaryDir m_dir;

private slots:
    void chainsSeeTheEarlierReplacements()
    {
        TestWorkbook t;
        t.sharedStrings = QStringList{"a", "xa"};
        t.addSheet("One", TestWorkbook::worksheet("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
                                                  "<c r=\"B1\" t=\"s\"><v>1</v></c></row>"));
        t.addSheet("Two", TestWorkbook::worksheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is>"
                                                  "<t>ab</t></is></c></row>"));
        const QByteArray package = t.build();
        // A -> B, B -> C; a key made across a replacement's edge ("x" + "b" -> "xb").
        compareBoth(package, {"a", "b"}, {"b", "c"}, false);
        compareBoth(package, {"a", "xb", "c"}, {"b", "yes", "z"}, false);
        compareBoth(package, {"q", "a"}, {"r", "s"}, true);
        const Result r = run(package, false, {"a", "xb", "bb"}, {"b", "1", "new"}, false);
        QVERIFY(r.found);
        QVERIFY(r.failure.isEmpty());
        QVERIFY(r.parts.value("xl/sharedStrings.xml").contains("<t>1</t>"));
        QVERIFY(r.parts.value("xl/worksheets/sheet2.xml").contains("new"));
    }

    void randomPairsGiveWhatPairByPairGives()
    {
        QVERIFY(m_dir.isValid());
        QRandomGenerator g(1515);
        const QStringList pieces = {"a", "b", "A", "ａ", "1", "2", "旧", "新", "公司", "%", "/"};
        const QStringList findPieces = pieces + QStringList{"?", "*", "~*"};
        int changed = 0;
        for (int round = 0; round < 120; ++round) {
            const QByteArray package = randomWorkbook(g, pieces);
            QStringList what;
            QStringList with;
            const int count = 1 + int(g.bounded(12));
            for (int p = 0; p < count; ++p) {
                // Some pairs feed the next: its find text is this one's replacement.
                if (p > 0 && g.bounded(3) == 0)
                    what << with.last();
                else
                    what << randomText(g, g.bounded(4) == 0 ? findPieces : pieces, 1, 2);
                with << randomText(g, pieces, 0, 3);
            }
            compareBoth(package, what, with, round % 5 == 0, &changed);
            if (QTest::currentTestFailed())
                return;
        }
        // The comparison means something only when many rounds wrote their workbook.
        QVERIFY2(changed > 40, qPrintable(QString::number(changed)));
    }
};

QTEST_GUILESS_MAIN(ReplacePairsTest)
#include "replacepairstest.moc"
