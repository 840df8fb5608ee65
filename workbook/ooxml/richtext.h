#pragma once

#include "workbook/edit/formattedtext.h"

#include <QByteArray>
#include <QString>

class FindPattern;

namespace workbook::ooxml
{

// The content of a string item (<si> or a cell's <is>) as formatted text, whose run format is
// the raw <rPr> element (a formatted run is written as <r>, the other as a bare <t>), and the
// phonetic runs that are not part of the cell's text.
class RichText
{
public:
    // element: the bytes of one <si> or <is> element, as stored.
    static bool parse(const QByteArray &element, RichText *out);

    const edit::FormattedText &text() const { return m_text; }
    void setText(const edit::FormattedText &text) { m_text = text; }
    QString plainText() const { return m_text.plainText(); }
    bool isPlain() const { return m_text.isPlain(); }

    RichText replaced(const FindPattern &pattern, const QString &with) const;

    // The element's children as XML (phonetic runs dropped: they no longer fit the text;
    // the phonetic properties kept). prefix is the element prefix with its colon, or empty.
    QByteArray toXml(const QByteArray &prefix) const;

    // A <t> element for text, with xml:space="preserve" where white space needs it.
    static QByteArray textElement(const QByteArray &prefix, const QString &text);

private:
    edit::FormattedText m_text;
    QByteArray m_phoneticProperties;
};

} // namespace workbook::ooxml
