#include "workbook/xml/splicer.h"

#include <QRandomGenerator>
#include <QtTest>

using workbook::xml::Splicer;

namespace
{

struct Edit {
    qsizetype begin;
    qsizetype end;
    QByteArray bytes;
};

QByteArray applied(Splicer splicer, const QVector<Edit> &edits, const QByteArray &original,
                   bool *ok)
{
    for (const Edit &e : edits)
        splicer.replace(e.begin, e.end, e.bytes);
    QByteArray out;
    *ok = splicer.apply(original, &out);
    return out;
}

} // namespace

// Edits given the original keep only what differs, and the result is byte for byte what the
// whole edits make.
class SplicerTest : public QObject
{
    Q_OBJECT

private slots:
    void trimmedEditsMakeTheSameBytes()
    {
        QRandomGenerator random(16);
        // Few letters, so that new bytes often share their ends with the old ones.
        const auto text = [&](int length) {
            QByteArray t;
            for (int i = 0; i < length; ++i)
                t += char('a' + random.bounded(3));
            return t;
        };
        for (int round = 0; round < 2000; ++round) {
            const QByteArray original = text(random.bounded(1, 40));
            QVector<Edit> edits;
            qsizetype at = 0;
            while (at <= original.size()) {
                const qsizetype begin = at + random.bounded(3);
                const qsizetype end = begin + random.bounded(4);
                if (end > original.size())
                    break;
                // Often the old bytes with a little added or taken away at one end.
                QByteArray bytes = original.mid(int(begin), int(end - begin));
                switch (random.bounded(5)) {
                case 4:
                    // The bytes of the edit before: stored once for both.
                    if (!edits.isEmpty())
                        bytes = edits.last().bytes;
                    break;
                case 0:
                    bytes = text(random.bounded(5));
                    break;
                case 1:
                    bytes += text(random.bounded(3));
                    break;
                case 2:
                    bytes.prepend(text(random.bounded(3)));
                    break;
                default:
                    break;
                }
                edits.append({begin, end, bytes});
                at = end + (begin == end ? 1 : 0);
            }
            if (random.bounded(2))
                std::reverse(edits.begin(), edits.end());
            bool wholeOk = false, trimmedOk = false;
            const QByteArray whole = applied(Splicer(), edits, original, &wholeOk);
            const QByteArray trimmed = applied(Splicer(original), edits, original, &trimmedOk);
            QVERIFY(wholeOk);
            QVERIFY(trimmedOk);
            QCOMPARE(trimmed, whole);
            // In place: bytes that move left and runs that move right, in one buffer.
            QByteArray inPlace(original.constData(), original.size());
            Splicer splicer(inPlace);
            for (const Edit &e : edits)
                splicer.replace(e.begin, e.end, e.bytes);
            QVERIFY(splicer.applyInPlace(&inPlace));
            QCOMPARE(inPlace, whole);
        }
    }

    void editThatChangesNothingStillCounts()
    {
        const QByteArray original = "<c>same</c>";
        Splicer splicer(original);
        splicer.replace(0, original.size(), original);
        QVERIFY(!splicer.isEmpty());
        QByteArray out;
        QVERIFY(splicer.apply(original, &out));
        QCOMPARE(out, original);
    }

    void limitStillHoldsForTrimmedEdits()
    {
        const QByteArray original = "<t>x</t><t>x</t>";
        Splicer splicer(original);
        splicer.setLimit(original.size() + 4);
        splicer.replace(0, 8, "<t>xyz</t>");
        QVERIFY(!splicer.tooLarge());
        splicer.replace(8, 16, "<t>xyzw</t>");
        QByteArray out;
        QVERIFY(!splicer.apply(original, &out));
        QVERIFY(splicer.tooLarge());
    }

    void growthPastTheLimitIsSeenAsItIsAdded()
    {
        // Every match growing by the same long text: refused once the part it would make
        // passes the limit, not once the texts collected do (they are kept once).
        const QByteArray original = QByteArray("<t>x</t>").repeated(1000);
        const QByteArray grown = "<t>" + QByteArray(1000, 'y') + "</t>";
        Splicer splicer(original);
        splicer.setLimit(100000);
        int added = 0;
        for (; added < 1000 && !splicer.tooLarge(); ++added)
            splicer.replace(added * 8, added * 8 + 8, grown);
        QVERIFY(splicer.tooLarge());
        QCOMPARE(added, 93); // 8,000 + 92 * 999 fits 100,000; one more does not
        QByteArray out;
        QVERIFY(!splicer.apply(original, &out));
        QByteArray same = original;
        QVERIFY(!splicer.applyInPlace(&same));
        QCOMPARE(same, original);
    }
};

QTEST_GUILESS_MAIN(SplicerTest)
#include "splicertest.moc"
