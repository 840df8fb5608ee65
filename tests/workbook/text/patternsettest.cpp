#include "workbook/text/patternset.h"

#include "workbook/text/findpattern.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace workbook::text;

class PatternSetTest : public QObject
{
    Q_OBJECT

private:
    static QVector<bool> seen(const QStringList &patterns, const QStringList &texts, int from = 0)
    {
        const PatternSet set(patterns);
        PatternSet::Hits hits = set.hits(from);
        for (const QString &t : texts)
            set.scan(t, &hits);
        QVector<bool> out;
        for (int p = 0; p < patterns.size(); ++p)
            out.append(hits.contains(p));
        return out;
    }

private slots:
    void reportsPatternsWhoseLiteralsOccur()
    {
        const QStringList patterns = {"he", "she", "his", "hers", "旧公司", "ABC", "x*yz", "q?r"};
        QCOMPARE(seen(patterns, {"ushers"}),
                 (QVector<bool>{true, true, false, true, false, false, false, false}));
        // Case and width folded as Find folds them; the longest literal piece is the key.
        QCOMPARE(seen(patterns, {"ＡｂＣ", "某旧公司", "..YZ"}),
                 (QVector<bool>{false, false, false, false, true, true, true, false}));
        QCOMPARE(seen(patterns, {"Qr"}),
                 (QVector<bool>{false, false, false, false, false, false, false, true}));
        QCOMPARE(seen(patterns, {}), QVector<bool>(patterns.size(), false));
    }

    void patternsWithoutLiteralsAlwaysMayAndEmptyOnesNever()
    {
        const QStringList patterns = {"*", "??", "", "~*"};
        QCOMPARE(seen(patterns, {}), (QVector<bool>{true, true, false, false}));
        QCOMPARE(seen(patterns, {"a*b"}), (QVector<bool>{true, true, false, true}));
    }

    void patternsBeforeTheStartCountAsSeen()
    {
        const PatternSet set({"a", "b", "c"});
        PatternSet::Hits hits = set.hits(1);
        QVERIFY(!hits.complete());
        set.scan(QStringLiteral("b"), &hits);
        QVERIFY(!hits.complete());
        set.scan(QStringLiteral("xcx"), &hits);
        QVERIFY(hits.complete());
    }

    void neverMissesWhatFindPatternMatches()
    {
        // The pre-test must be sound: any text a pattern matches reports that pattern.
        QRandomGenerator g(15);
        const QString alphabet = QStringLiteral("abAB12?*~ａＢ旧新ßẞσΣς𝐀\u3000 ");
        auto random = [&](int max) {
            QString s;
            for (int k = int(g.bounded(max + 1)); k > 0; --k) {
                const int i = int(g.bounded(alphabet.size()));
                // Keep surrogate pairs whole.
                if (alphabet.at(i).isLowSurrogate())
                    s += alphabet.mid(i - 1, 2);
                else if (alphabet.at(i).isHighSurrogate())
                    s += alphabet.mid(i, 2);
                else
                    s += alphabet.at(i);
            }
            return s;
        };
        for (int round = 0; round < 300; ++round) {
            QStringList patterns;
            for (int p = 0; p < 20; ++p)
                patterns << random(4);
            const QStringList texts = {random(8), random(8), random(8)};
            const QVector<bool> may = seen(patterns, texts);
            for (int p = 0; p < patterns.size(); ++p) {
                const FindPattern pattern(patterns.at(p));
                for (const QString &t : texts) {
                    if (pattern.matches(t) && !may.at(p))
                        QFAIL(qPrintable(QStringLiteral("'%1' matches '%2' but was not reported")
                                             .arg(patterns.at(p), t)));
                }
            }
        }
    }
};

QTEST_APPLESS_MAIN(PatternSetTest)
#include "patternsettest.moc"
