#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

class FindPattern;

namespace workbook::ooxml
{

// The content of a string item (<si> or a cell's <is>): plain text or runs of formatted text,
// with phonetic runs that are not part of the cell's text.
class RichText
{
public:
    struct Run {
        QByteArray properties; // the raw <rPr> element, empty for a run without one
        QString text;
        bool isRun = false; // written as <r> (false: a bare <t>)
    };

    // element: the bytes of one <si> or <is> element, as stored.
    static bool parse(const QByteArray &element, RichText *out);

    QString plainText() const;
    bool isPlain() const { return m_runs.size() <= 1 && (m_runs.isEmpty() || !m_runs[0].isRun); }

    // The text with every match of pattern replaced by with, each replacement taking the
    // format of the run where its match starts.
    RichText replaced(const FindPattern &pattern, const QString &with) const;

    // The element's children as XML (phonetic runs dropped: they no longer fit the text;
    // the phonetic properties kept). prefix is the element prefix with its colon, or empty.
    QByteArray toXml(const QByteArray &prefix) const;

    // A <t> element for text, with xml:space="preserve" where white space needs it.
    static QByteArray textElement(const QByteArray &prefix, const QString &text);

private:
    QVector<Run> m_runs;
    QByteArray m_phoneticProperties;
};

} // namespace workbook::ooxml
