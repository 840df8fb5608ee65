#include "workbook/edit/formattedtext.h"

#include "workbook/text/findpattern.h"

#include <algorithm>

namespace workbook::edit
{

QString FormattedText::plainText() const
{
    if (m_runs.size() == 1)
        return m_runs[0].text;
    QString out;
    for (const Run &r : m_runs)
        out += r.text;
    return out;
}

FormattedText FormattedText::replaced(const FindPattern &pattern, const QString &with) const
{
    FormattedText out;
    out.extra = extra;
    if (m_runs.isEmpty())
        return out;
    out.m_runs = m_runs;
    QVector<qsizetype> ends; // run boundaries in the plain text
    qsizetype total = 0;
    for (Run &r : out.m_runs) {
        total += r.text.size();
        ends.append(total);
        r.text.clear();
    }
    const QString plain = plainText();
    // Binary search: a long string with thousands of runs and matches stays fast.
    auto runAt = [&](qsizetype pos) {
        const auto it = std::upper_bound(ends.cbegin(), ends.cend(), pos);
        return it == ends.cend() ? int(ends.size()) - 1 : int(it - ends.cbegin());
    };
    auto copy = [&](qsizetype from, qsizetype to) {
        while (from < to) {
            const int r = runAt(from);
            const qsizetype stop = qMin(to, ends[r]);
            out.m_runs[r].text += plain.mid(int(from), int(stop - from));
            from = stop;
        }
    };
    const QVector<FindPattern::Match> matches = pattern.replaceMatches(plain);
    qsizetype cursor = 0;
    for (const FindPattern::Match &m : matches) {
        copy(cursor, m.start);
        out.m_runs[runAt(m.start)].text += with;
        cursor = m.start + m.length;
    }
    copy(cursor, plain.size());
    // Runs left without text would be empty formatting; keep at least one run.
    QVector<Run> kept;
    for (const Run &r : out.m_runs) {
        if (!r.text.isEmpty())
            kept.append(r);
    }
    if (kept.isEmpty())
        kept.append(out.m_runs.first());
    out.m_runs = kept;
    return out;
}

} // namespace workbook::edit
