#pragma once

#include "workbook/xml/bytespan.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace workbook::xml
{

// A pull scanner over UTF-8 XML that reports every token with its byte offsets, so a caller
// can splice new bytes into the original exactly where something changed. It checks what
// well-formedness a splice relies on (tags nest and match, one root, attributes quoted) and
// refuses a document type declaration and nesting deeper than limits::kMaxXmlDepth.
// Character data is handed out raw; decodeText() resolves the entity references.
class XmlScanner
{
public:
    enum Token {
        StartElement,
        EndElement, // also reported, empty, right after a self-closing start tag
        Text,
        CData,
        Comment,
        ProcessingInstruction,
        EndOfDocument,
        Invalid,
    };

    struct Attribute {
        ByteSpan name;
        ByteSpan value;      // raw, between the quotes
        qsizetype begin = 0; // offset of the attribute name
        qsizetype end = 0;   // offset just past the closing quote
    };

    explicit XmlScanner(const QByteArray &document);

    Token next();
    Token token() const { return m_token; }

    // The byte range of the current token in the document.
    qsizetype tokenBegin() const { return m_tokenBegin; }
    qsizetype tokenEnd() const { return m_tokenEnd; }

    // Elements (start and end): the qualified name and its local part.
    ByteSpan name() const { return m_name; }
    ByteSpan localName() const { return m_localName; }
    ByteSpan prefix() const;
    // At a start tag: whether it is written <name/>; at an end: whether it was synthetic.
    bool isSelfClosing() const { return m_selfClosing; }
    // Depth of the current element: 1 for the root, counted at its start and end tags.
    int depth() const { return m_depth; }

    const std::vector<Attribute> &attributes() const { return m_attributes; }
    // The attribute whose local name is localName (any prefix, or none when noPrefix).
    const Attribute *attribute(const char *localName, bool prefixed = false) const;
    bool attributeText(const char *localName, QString *out, bool prefixed = false) const;

    // Text and CDATA: the raw characters.
    ByteSpan text() const { return m_text; }

    // After a StartElement: reads on to its end tag, collecting the decoded text of the
    // direct character data (children skipped). False on malformed input.
    bool readElementText(QString *out);
    // After a StartElement: skips to its end tag.
    bool skipElement();

    QString errorString() const { return m_error; }
    qsizetype offset() const { return m_pos; }
    const QByteArray &document() const { return m_doc; }

    // Resolves &lt; &gt; &amp; &quot; &apos; &#n; &#xh; and appends to out. False on an
    // unknown or malformed reference.
    static bool decodeText(const char *data, qsizetype size, QString *out);
    static bool decodeText(const ByteSpan &s, QString *out)
    {
        return decodeText(s.data, s.size, out);
    }

private:
    Token fail(const QString &why);
    Token scanMarkup();
    Token scanStartTag();
    Token scanEndTag();
    qsizetype find(const char *needle, qsizetype from) const;
    // After a StartElement: whether the element holds nothing but character data (a cell's
    // value, a formula), which then ends at the first '<' with its own end tag; such an
    // element is read or skipped in one step instead of token by token.
    // The text runs from offset() to *endTagBegin.
    bool textOnly(qsizetype *endTagBegin, qsizetype *endTagEnd) const;
    void endTextOnly(qsizetype endTagBegin, qsizetype endTagEnd);

    QByteArray m_doc;
    const char *m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
    Token m_token = EndOfDocument;
    qsizetype m_tokenBegin = 0;
    qsizetype m_tokenEnd = 0;
    // An element open at the current token: its name and where its local part starts.
    struct OpenElement {
        ByteSpan name;
        qsizetype localBegin = 0;
    };

    ByteSpan m_name;
    ByteSpan m_localName;
    ByteSpan m_text;
    bool m_selfClosing = false;
    bool m_pendingEnd = false;
    bool m_seenRoot = false;
    bool m_failed = false;
    int m_depth = 0;
    std::vector<Attribute> m_attributes;
    std::vector<OpenElement> m_open;
    QString m_error;
};

} // namespace workbook::xml
