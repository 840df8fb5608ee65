#include "workbook/ooxml/sharedstrings.h"

#include "workbook/limits.h"
#include "workbook/ooxml/richtext.h"
#include "workbook/ooxml/xstring.h"
#include "workbook/xml/splicer.h"
#include "workbook/xml/xmlscanner.h"

#include <cstring>

namespace workbook::ooxml
{

namespace
{

// The number of <si> elements, counted on the bytes before anything is allocated for them.
qint64 countItems(const QByteArray &xml)
{
    qint64 n = 0;
    const char *p = xml.constData();
    const char *end = p + xml.size();
    while (p + 3 < end) {
        const void *hit = std::memchr(p, 's', size_t(end - p - 2));
        if (!hit)
            break;
        const char *s = static_cast<const char *>(hit);
        if (s > xml.constData() && (s[-1] == '<' || s[-1] == ':') && s[1] == 'i' &&
            (s[2] == '>' || s[2] == ' ' || s[2] == '/'))
            ++n;
        p = s + 1;
    }
    return n;
}

} // namespace

namespace
{

// Most items are one <t> without attributes: its text is taken without a scanner, as the
// scanner would read it. False when the item is any other.
bool plainItemText(const QByteArray &element, QString *out)
{
    static const char open[] = "<si><t>";
    static const char close[] = "</t></si>";
    const qsizetype openSize = sizeof open - 1, closeSize = sizeof close - 1;
    const qsizetype size = element.size() - openSize - closeSize;
    const char *text = element.constData() + openSize;
    if (size < 0 || std::memcmp(element.constData(), open, size_t(openSize)) != 0 ||
        std::memcmp(text + size, close, size_t(closeSize)) != 0 ||
        std::memchr(text, '<', size_t(size)))
        return false;
    QString raw;
    if (!xml::XmlScanner::decodeText(text, size, &raw))
        return false;
    out->append(XString::decode(raw));
    return true;
}

// The text of one <si> element: its <t> and the <t> of its runs, phonetic runs left out.
bool itemText(const QByteArray &element, QString *out, QString *reason)
{
    if (plainItemText(element, out))
        return true;
    xml::XmlScanner s(element);
    QString raw;
    bool inRun = false;
    for (;;) {
        const xml::XmlScanner::Token t = s.next();
        if (t == xml::XmlScanner::EndOfDocument)
            return true;
        if (t == xml::XmlScanner::Invalid) {
            *reason = s.errorString();
            return false;
        }
        if (t != xml::XmlScanner::StartElement)
            continue;
        const xml::ByteSpan local = s.localName();
        if (local == "t" && (s.depth() == 2 || (s.depth() == 3 && inRun))) {
            if (!s.readElementText(&raw)) {
                *reason = s.errorString();
                return false;
            }
            out->append(XString::decode(raw));
        } else if (s.depth() == 2) {
            inRun = local == "r";
            if (!inRun && !s.skipElement()) {
                *reason = s.errorString();
                return false;
            }
        }
    }
}

} // namespace

bool SharedStrings::parse(const QByteArray &xml, SharedStrings *out, QString *reason)
{
    *out = SharedStrings();
    if (countItems(xml) > limits::kMaxSharedStrings) {
        *reason = QStringLiteral("shared strings: expected at most %1 items, found more")
                      .arg(limits::kMaxSharedStrings);
        return false;
    }
    out->m_xml = xml;
    xml::XmlScanner s(xml);
    for (;;) {
        const xml::XmlScanner::Token t = s.next();
        if (t == xml::XmlScanner::EndOfDocument)
            return true;
        if (t == xml::XmlScanner::Invalid) {
            *reason = QStringLiteral("shared strings: %1").arg(s.errorString());
            return false;
        }
        if (t != xml::XmlScanner::StartElement || s.depth() != 2 || s.localName() != "si")
            continue;
        if (out->m_items.isEmpty()) {
            const xml::ByteSpan p = s.prefix();
            out->m_prefix = p.isEmpty() ? QByteArray() : p.toByteArray() + ':';
        }
        Item item;
        item.begin = qint32(s.tokenBegin());
        item.contentBegin = qint32(s.tokenEnd());
        if (!s.skipElement()) {
            *reason = QStringLiteral("shared strings: %1").arg(s.errorString());
            return false;
        }
        // A self-closing <si/> has its synthetic end at the end of the start tag.
        item.contentEnd = qint32(s.isSelfClosing() ? s.tokenEnd() : s.tokenBegin());
        item.end = qint32(s.tokenEnd());
        out->m_items.append(item);
    }
}

QByteArray SharedStrings::changedContent(int index) const
{
    if (size_t(index) >= m_changeOf.size() || m_changeOf[size_t(index)] == 0)
        return QByteArray();
    const Change &c = m_changes[m_changeOf[size_t(index)] - 1];
    // Never null, even when empty, so that "changed to nothing" differs from "unchanged".
    return c.size == 0 ? QByteArray("")
                       : QByteArray::fromRawData(m_changedBytes.constData() + c.at, int(c.size));
}

QString SharedStrings::text(int index) const
{
    QString text, reason;
    // Well-formed as part of the whole table, or as written by setItem, so well-formed on
    // its own.
    const QByteArray changed = changedContent(index);
    if (!changed.isNull()) {
        itemText("<" + m_prefix + "si>" + changed + "</" + m_prefix + "si>", &text, &reason);
        return text;
    }
    const Item &item = m_items[index];
    itemText(QByteArray::fromRawData(m_xml.constData() + item.begin, item.end - item.begin), &text,
             &reason);
    return text;
}

QByteArray SharedStrings::element(int index) const
{
    const QByteArray changed = changedContent(index);
    if (changed.isNull()) {
        const Item &item = m_items[index];
        return m_xml.mid(item.begin, item.end - item.begin);
    }
    return "<" + m_prefix + "si>" + changed + "</" + m_prefix + "si>";
}

bool SharedStrings::formattedText(int index, edit::FormattedText *out) const
{
    return RichText::parse(element(index), out);
}

void SharedStrings::setItem(int index, const edit::FormattedText &text)
{
    const QByteArray content = RichText::toXml(text, m_prefix);
    if (m_changeOf.empty())
        m_changeOf.resize(size_t(m_items.size()), 0);
    quint32 &slot = m_changeOf[size_t(index)];
    // A change made again reuses its bytes where the new content fits them.
    if (slot != 0 && m_changes[slot - 1].size >= quint32(content.size())) {
        Change &c = m_changes[slot - 1];
        memcpy(m_changedBytes.data() + c.at, content.constData(), size_t(content.size()));
        c.size = quint32(content.size());
        return;
    }
    const Change c{quint32(m_changedBytes.size()), quint32(content.size())};
    m_changedBytes.append(content);
    if (slot != 0) {
        m_changes[slot - 1] = c;
    } else {
        m_changes.push_back(c);
        slot = quint32(m_changes.size());
    }
}

bool SharedStrings::serialize(QByteArray *out, QString *reason) const
{
    xml::Splicer splicer;
    // In item order, which is the order of the bytes.
    for (size_t k = 0; k < m_changeOf.size(); ++k) {
        if (m_changeOf[k] == 0)
            continue;
        const Item &item = m_items[int(k)];
        const QByteArray content = changedContent(int(k));
        if (item.contentBegin == item.end)
            splicer.replace(item.begin, item.end,
                            "<" + m_prefix + "si>" + content + "</" + m_prefix + "si>");
        else
            splicer.replace(item.contentBegin, item.contentEnd, content);
    }
    if (splicer.apply(m_xml, out))
        return true;
    *reason = QStringLiteral("shared strings: the changed items make the part too large");
    return false;
}

bool SharedStrings::storedExactly(int index) const
{
    const QByteArray bytes = element(index);
    return XString::storedExactly(bytes.constData(), bytes.size());
}

} // namespace workbook::ooxml
