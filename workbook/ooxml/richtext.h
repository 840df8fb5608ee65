#pragma once

#include "workbook/edit/formattedtext.h"

#include <QByteArray>
#include <QString>

namespace workbook::ooxml
{

// The content of a string item (<si> or a cell's <is>) as formatted text: a run's format is
// its raw <rPr> element (a formatted run is written as <r>, the other as a bare <t>), and the
// phonetic properties ride along as the text's extra. Phonetic runs are not part of the text.
class RichText
{
public:
    // element: the bytes of one <si> or <is> element, as stored.
    static bool parse(const QByteArray &element, edit::FormattedText *out);

    // The element's children as XML (phonetic runs dropped: they no longer fit the text;
    // the phonetic properties kept). prefix is the element prefix with its colon, or empty.
    static QByteArray toXml(const edit::FormattedText &text, const QByteArray &prefix);

    // A <t> element for text, with xml:space="preserve" where white space needs it.
    static QByteArray textElement(const QByteArray &prefix, const QString &text);
};

} // namespace workbook::ooxml
