#include "workbook/xml/xmlscanner.h"

#include "workbook/limits.h"

#include <array>
#include <cstring>

namespace workbook::xml
{

namespace
{

// Character classes, one table look-up per byte: names are scanned byte by byte.
enum : unsigned char { kSpace = 1, kEndsName = 2 };

constexpr std::array<unsigned char, 256> makeClasses()
{
    std::array<unsigned char, 256> t{};
    for (const char c : {' ', '\t', '\n', '\r'})
        t[static_cast<unsigned char>(c)] = kSpace | kEndsName;
    for (const char c : {'/', '>', '=', '<', '"', '\''})
        t[static_cast<unsigned char>(c)] = kEndsName;
    return t;
}

constexpr std::array<unsigned char, 256> kClasses = makeClasses();

inline bool isSpace(char c)
{
    return kClasses[static_cast<unsigned char>(c)] & kSpace;
}

inline bool endsName(char c)
{
    return kClasses[static_cast<unsigned char>(c)] & kEndsName;
}

// Element names are a few bytes long: a loop compares them faster than a call would.
inline bool sameName(const char *a, const char *b, qsizetype n)
{
    for (qsizetype k = 0; k < n; ++k) {
        if (a[k] != b[k])
            return false;
    }
    return true;
}

ByteSpan localPart(const ByteSpan &qname)
{
    const void *colon = std::memchr(qname.data, ':', size_t(qname.size));
    if (!colon)
        return qname;
    const char *p = static_cast<const char *>(colon) + 1;
    return ByteSpan{p, qname.size - (p - qname.data)};
}

void appendCodePoint(uint cp, QString *out)
{
    if (cp >= 0x10000) {
        out->append(QChar(QChar::highSurrogate(cp)));
        out->append(QChar(QChar::lowSurrogate(cp)));
    } else {
        out->append(QChar(ushort(cp)));
    }
}

// Appends UTF-8 text with its line ends normalised as XML requires: CR LF and a lone CR read
// as LF (a CR written as a character reference stays).
void appendNormalized(const char *data, qsizetype size, QString *out)
{
    if (!std::memchr(data, '\r', size_t(size))) {
        out->append(QString::fromUtf8(data, int(size)));
        return;
    }
    QByteArray text(data, int(size));
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    out->append(QString::fromUtf8(text));
}

} // namespace

XmlScanner::XmlScanner(const QByteArray &document)
    : m_doc(document), m_data(m_doc.constData()), m_size(m_doc.size())
{
    if (m_size >= 3 && std::memcmp(m_data, "\xEF\xBB\xBF", 3) == 0)
        m_pos = 3;
    m_open.reserve(32);
    m_attributes.reserve(8);
}

ByteSpan XmlScanner::prefix() const
{
    const ByteSpan local = m_localName;
    if (local.size == m_name.size)
        return ByteSpan{m_name.data, 0};
    return ByteSpan{m_name.data, m_name.size - local.size - 1};
}

const XmlScanner::Attribute *XmlScanner::attribute(const char *localName, bool prefixed) const
{
    for (const Attribute &a : m_attributes) {
        const ByteSpan local = localPart(a.name);
        if ((local.size != a.name.size) == prefixed && local == localName)
            return &a;
    }
    return nullptr;
}

bool XmlScanner::attributeText(const char *localName, QString *out, bool prefixed) const
{
    const Attribute *a = attribute(localName, prefixed);
    if (!a)
        return false;
    out->clear();
    return decodeText(a->value, out);
}

XmlScanner::Token XmlScanner::fail(const QString &why)
{
    if (!m_failed) {
        m_failed = true;
        m_error = QStringLiteral("%1 at byte %2").arg(why).arg(m_pos);
    }
    m_token = Invalid;
    return m_token;
}

qsizetype XmlScanner::find(const char *needle, qsizetype from) const
{
    const size_t n = std::strlen(needle);
    const char *end = m_data + m_size;
    const char *p = m_data + from;
    while (p + n <= end) {
        const void *hit = std::memchr(p, needle[0], size_t(end - p));
        if (!hit)
            return -1;
        const char *h = static_cast<const char *>(hit);
        if (h + n > end)
            return -1;
        if (std::memcmp(h, needle, n) == 0)
            return h - m_data;
        p = h + 1;
    }
    return -1;
}

XmlScanner::Token XmlScanner::next()
{
    if (m_failed)
        return m_token = Invalid;
    if (m_pendingEnd) {
        // The synthetic end of a self-closing element.
        m_pendingEnd = false;
        m_selfClosing = true;
        m_depth = int(m_open.size());
        m_open.pop_back();
        m_tokenBegin = m_tokenEnd = m_pos;
        return m_token = EndElement;
    }
    m_selfClosing = false;
    m_attributes.clear();
    if (m_pos >= m_size) {
        if (!m_open.empty())
            return fail(QStringLiteral("expected the end tag of an open element, found the end "
                                       "of the document"));
        if (!m_seenRoot)
            return fail(QStringLiteral("expected a root element, found none"));
        return m_token = EndOfDocument;
    }
    m_tokenBegin = m_pos;
    if (m_data[m_pos] == '<')
        return scanMarkup();

    const void *lt = std::memchr(m_data + m_pos, '<', size_t(m_size - m_pos));
    const qsizetype end = lt ? static_cast<const char *>(lt) - m_data : m_size;
    m_text = ByteSpan{m_data + m_pos, end - m_pos};
    if (m_open.empty()) {
        for (qsizetype i = 0; i < m_text.size; ++i) {
            if (!isSpace(m_text.data[i]))
                return fail(QStringLiteral("expected only white space outside the root element"));
        }
    }
    m_pos = end;
    m_tokenEnd = end;
    return m_token = Text;
}

XmlScanner::Token XmlScanner::scanMarkup()
{
    const qsizetype left = m_size - m_pos;
    const char *p = m_data + m_pos;
    // Start tags are most of the markup: they are told apart by their second byte alone.
    const char second = left >= 2 ? p[1] : '\0';
    if (second != '?' && second != '!' && second != '/')
        return scanStartTag();
    if (second == '?') {
        const qsizetype end = find("?>", m_pos + 2);
        if (end < 0)
            return fail(QStringLiteral("expected '?>' closing a processing instruction"));
        m_text = ByteSpan{p + 2, end - m_pos - 2};
        m_pos = end + 2;
        m_tokenEnd = m_pos;
        return m_token = ProcessingInstruction;
    }
    if (left >= 4 && std::memcmp(p, "<!--", 4) == 0) {
        const qsizetype end = find("-->", m_pos + 4);
        if (end < 0)
            return fail(QStringLiteral("expected '-->' closing a comment"));
        m_text = ByteSpan{p + 4, end - m_pos - 4};
        m_pos = end + 3;
        m_tokenEnd = m_pos;
        return m_token = Comment;
    }
    if (left >= 9 && std::memcmp(p, "<![CDATA[", 9) == 0) {
        if (m_open.empty())
            return fail(QStringLiteral("expected CDATA only inside an element"));
        const qsizetype end = find("]]>", m_pos + 9);
        if (end < 0)
            return fail(QStringLiteral("expected ']]>' closing a CDATA section"));
        m_text = ByteSpan{p + 9, end - m_pos - 9};
        m_pos = end + 3;
        m_tokenEnd = m_pos;
        return m_token = CData;
    }
    if (left >= 2 && p[1] == '!') {
        if (left >= 9 && std::memcmp(p, "<!DOCTYPE", 9) == 0)
            return fail(QStringLiteral("expected no document type declaration (entity expansion "
                                       "is refused), found <!DOCTYPE"));
        return fail(QStringLiteral("expected a comment or CDATA after '<!'"));
    }
    return scanEndTag();
}

XmlScanner::Token XmlScanner::scanStartTag()
{
    if (m_open.empty() && m_seenRoot)
        return fail(QStringLiteral("expected one root element, found a second"));
    qsizetype i = m_pos + 1;
    const qsizetype nameBegin = i;
    qsizetype localBegin = i;
    while (i < m_size && !endsName(m_data[i])) {
        if (m_data[i] == ':' && localBegin == nameBegin)
            localBegin = i + 1;
        ++i;
    }
    if (i == nameBegin)
        return fail(QStringLiteral("expected an element name after '<'"));
    // Kept in locals as well: read back from the members just written, the halves stored one
    // by one would be loaded whole, which stalls the processor.
    const ByteSpan name{m_data + nameBegin, i - nameBegin};
    m_name = name;
    m_localName = ByteSpan{m_data + localBegin, i - localBegin};
    for (;;) {
        const qsizetype beforeSpace = i;
        while (i < m_size && isSpace(m_data[i]))
            ++i;
        if (i >= m_size)
            return fail(QStringLiteral("expected '>' closing a start tag, found the end"));
        const char c = m_data[i];
        if (c == '>') {
            ++i;
            break;
        }
        if (c == '/') {
            if (i + 1 >= m_size || m_data[i + 1] != '>')
                return fail(QStringLiteral("expected '/>'"));
            i += 2;
            m_pendingEnd = true;
            break;
        }
        if (i == beforeSpace)
            return fail(QStringLiteral("expected white space before an attribute"));
        const qsizetype attrBegin = i;
        while (i < m_size && !endsName(m_data[i]))
            ++i;
        if (i == attrBegin)
            return fail(QStringLiteral("expected an attribute name"));
        const qsizetype attrEnd = i;
        while (i < m_size && isSpace(m_data[i]))
            ++i;
        if (i >= m_size || m_data[i] != '=')
            return fail(QStringLiteral("expected '=' after an attribute name"));
        ++i;
        while (i < m_size && isSpace(m_data[i]))
            ++i;
        if (i >= m_size || (m_data[i] != '"' && m_data[i] != '\''))
            return fail(QStringLiteral("expected a quoted attribute value"));
        const char quote = m_data[i++];
        const qsizetype valueBegin = i;
        // Values are short: one pass looks for the closing quote and a '<' together.
        while (i < m_size && m_data[i] != quote && m_data[i] != '<')
            ++i;
        if (i >= m_size || m_data[i] == '<') {
            if (!std::memchr(m_data + i, quote, size_t(m_size - i)))
                return fail(QStringLiteral("expected the closing quote of an attribute value"));
            return fail(QStringLiteral("expected no '<' inside an attribute value"));
        }
        const qsizetype valueEnd = i;
        i = valueEnd + 1;
        // Written in place, field by field, for the same reason as the name.
        Attribute &a = m_attributes.emplace_back();
        a.name = ByteSpan{m_data + attrBegin, attrEnd - attrBegin};
        a.value = ByteSpan{m_data + valueBegin, valueEnd - valueBegin};
        a.begin = attrBegin;
        a.end = i;
    }
    if (int(m_open.size()) >= limits::kMaxXmlDepth)
        return fail(QStringLiteral("expected elements nested at most %1 deep, found deeper")
                        .arg(limits::kMaxXmlDepth));
    OpenElement &open = m_open.emplace_back();
    open.name = name;
    open.localBegin = localBegin - nameBegin;
    m_selfClosing = m_pendingEnd;
    m_seenRoot = true;
    m_depth = int(m_open.size());
    m_pos = i;
    m_tokenEnd = i;
    return m_token = StartElement;
}

XmlScanner::Token XmlScanner::scanEndTag()
{
    qsizetype i = m_pos + 2;
    const qsizetype nameBegin = i;
    // Nearly always the end tag names the open element: its bytes are compared in one go,
    // and the name is scanned byte by byte only when they differ.
    const OpenElement *open = m_open.empty() ? nullptr : &m_open.back();
    const qsizetype expected = open ? open->name.size : 0;
    if (open && expected <= m_size - i && sameName(m_data + i, open->name.data, expected) &&
        (i + expected == m_size || endsName(m_data[i + expected]))) {
        i += expected;
        m_name = ByteSpan{m_data + nameBegin, expected};
        m_localName = ByteSpan{m_name.data + open->localBegin, expected - open->localBegin};
    } else {
        while (i < m_size && !endsName(m_data[i]))
            ++i;
        m_name = ByteSpan{m_data + nameBegin, i - nameBegin};
        m_localName = localPart(m_name);
    }
    while (i < m_size && isSpace(m_data[i]))
        ++i;
    if (i >= m_size || m_data[i] != '>')
        return fail(QStringLiteral("expected '>' closing an end tag"));
    if (!open)
        return fail(QStringLiteral("expected no end tag outside the root element"));
    if (!open->name.equals(m_name))
        return fail(QStringLiteral("expected </%1>, found </%2>")
                        .arg(open->name.toUtf8String(), m_name.toUtf8String()));
    m_depth = int(m_open.size());
    m_open.pop_back();
    m_pos = i + 1;
    m_tokenEnd = m_pos;
    return m_token = EndElement;
}

bool XmlScanner::textOnly(qsizetype *endTagBegin, qsizetype *endTagEnd) const
{
    if (m_token != StartElement || m_pendingEnd || m_failed || m_open.empty())
        return false;
    const void *lt = std::memchr(m_data + m_pos, '<', size_t(m_size - m_pos));
    if (!lt)
        return false;
    const qsizetype at = static_cast<const char *>(lt) - m_data;
    const ByteSpan &name = m_open.back().name;
    const qsizetype nameAt = at + 2;
    if (m_size - nameAt <= name.size || m_data[at + 1] != '/' ||
        !sameName(m_data + nameAt, name.data, name.size))
        return false;
    qsizetype i = nameAt + name.size;
    if (!endsName(m_data[i]))
        return false;
    while (i < m_size && isSpace(m_data[i]))
        ++i;
    if (i >= m_size || m_data[i] != '>')
        return false;
    *endTagBegin = at;
    *endTagEnd = i + 1;
    return true;
}

void XmlScanner::endTextOnly(qsizetype endTagBegin, qsizetype endTagEnd)
{
    // As the tokens would have left things: the text, then the end tag.
    if (endTagBegin > m_pos)
        m_text = ByteSpan{m_data + m_pos, endTagBegin - m_pos};
    m_attributes.clear();
    m_selfClosing = false;
    const OpenElement &open = m_open.back();
    m_name = ByteSpan{m_data + endTagBegin + 2, open.name.size};
    m_localName = ByteSpan{m_name.data + open.localBegin, open.name.size - open.localBegin};
    m_depth = int(m_open.size());
    m_open.pop_back();
    m_tokenBegin = endTagBegin;
    m_pos = m_tokenEnd = endTagEnd;
    m_token = EndElement;
}

bool XmlScanner::readElementText(QString *out)
{
    out->clear();
    qsizetype endTagBegin, endTagEnd;
    if (textOnly(&endTagBegin, &endTagEnd)) {
        if (endTagBegin > m_pos && !decodeText(m_data + m_pos, endTagBegin - m_pos, out)) {
            // Where the scanner stands after the text, as a failure is reported there.
            m_pos = endTagBegin;
            fail(QStringLiteral("expected a known entity reference"));
            return false;
        }
        endTextOnly(endTagBegin, endTagEnd);
        return true;
    }
    const int depth = m_depth;
    for (;;) {
        switch (next()) {
        case Text:
            if (int(m_open.size()) == depth && !decodeText(m_text, out)) {
                fail(QStringLiteral("expected a known entity reference"));
                return false;
            }
            break;
        case CData:
            if (int(m_open.size()) == depth)
                out->append(m_text.toUtf8String());
            break;
        case EndElement:
            if (m_depth == depth)
                return true;
            break;
        case Invalid:
        case EndOfDocument:
            return false;
        default:
            break;
        }
    }
}

bool XmlScanner::skipElement()
{
    qsizetype endTagBegin, endTagEnd;
    if (textOnly(&endTagBegin, &endTagEnd)) {
        endTextOnly(endTagBegin, endTagEnd);
        return true;
    }
    const int depth = m_depth;
    for (;;) {
        const Token t = next();
        if (t == EndElement && m_depth == depth)
            return true;
        if (t == Invalid || t == EndOfDocument)
            return false;
    }
}

bool XmlScanner::decodeText(const char *data, qsizetype size, QString *out)
{
    qsizetype start = 0;
    for (;;) {
        const void *amp = std::memchr(data + start, '&', size_t(size - start));
        const qsizetype at = amp ? static_cast<const char *>(amp) - data : size;
        if (at > start)
            appendNormalized(data + start, at - start, out);
        if (at == size)
            return true;
        const void *semi = std::memchr(data + at, ';', size_t(qMin<qsizetype>(size - at, 12)));
        if (!semi)
            return false;
        const qsizetype end = static_cast<const char *>(semi) - data;
        const ByteSpan ref{data + at + 1, end - at - 1};
        if (ref == "lt")
            out->append(QLatin1Char('<'));
        else if (ref == "gt")
            out->append(QLatin1Char('>'));
        else if (ref == "amp")
            out->append(QLatin1Char('&'));
        else if (ref == "quot")
            out->append(QLatin1Char('"'));
        else if (ref == "apos")
            out->append(QLatin1Char('\''));
        else if (ref.size >= 2 && ref.data[0] == '#') {
            const bool hex = ref.data[1] == 'x';
            uint cp = 0;
            const qsizetype first = hex ? 2 : 1;
            if (first >= ref.size)
                return false;
            for (qsizetype k = first; k < ref.size; ++k) {
                const char c = ref.data[k];
                int digit;
                if (c >= '0' && c <= '9')
                    digit = c - '0';
                else if (hex && c >= 'a' && c <= 'f')
                    digit = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F')
                    digit = c - 'A' + 10;
                else
                    return false;
                cp = cp * (hex ? 16 : 10) + uint(digit);
                if (cp > 0x10FFFF)
                    return false;
            }
            if (cp == 0 || (cp >= 0xD800 && cp < 0xE000))
                return false;
            appendCodePoint(cp, out);
        } else {
            return false;
        }
        start = end + 1;
    }
}

} // namespace workbook::xml
