#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

namespace workbook::text
{
class FindPattern;
} // namespace workbook::text

namespace workbook::edit
{

using text::FindPattern;

// A cell's text as runs, each with a format only its backend understands (an opaque handle:
// the raw run properties of OOXML, a font index of BIFF).
class FormattedText
{
public:
    struct Run {
        QByteArray format; // empty for a run without a format of its own
        QString text;
        bool formatted = false; // a run of formatted text (false: the plain text of the item)
    };

    // What the backend keeps with the text that is not part of it (OOXML's phonetic
    // properties); carried through replaced().
    QByteArray extra;

    QVector<Run> &runs() { return m_runs; }
    const QVector<Run> &runs() const { return m_runs; }

    QString plainText() const;
    bool isPlain() const
    {
        return m_runs.size() <= 1 && (m_runs.isEmpty() || !m_runs[0].formatted);
    }

    // The text with every match of pattern replaced by with, each replacement taking the
    // format of the run where its match starts. Runs left empty are dropped (one is kept).
    FormattedText replaced(const FindPattern &pattern, const QString &with) const;

private:
    QVector<Run> m_runs;
};

} // namespace workbook::edit
