#include "workbook/ooxml/sharedstrings.h"

#include "workbook/limits.h"
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
    Item *item = nullptr;
    int textDepth = 0;
    QString raw;
    for (;;) {
        const xml::XmlScanner::Token t = s.next();
        if (t == xml::XmlScanner::EndOfDocument)
            return true;
        if (t == xml::XmlScanner::Invalid) {
            *reason = QStringLiteral("shared strings: %1").arg(s.errorString());
            return false;
        }
        if (t == xml::XmlScanner::StartElement) {
            const xml::ByteSpan local = s.localName();
            if (s.depth() == 2 && local == "si") {
                if (out->m_items.size() >= limits::kMaxSharedStrings) {
                    *reason =
                        QStringLiteral("shared strings: expected at most %1 items, found more")
                            .arg(limits::kMaxSharedStrings);
                    return false;
                }
                if (out->m_items.isEmpty()) {
                    const xml::ByteSpan p = s.prefix();
                    out->m_prefix = p.isEmpty() ? QByteArray() : p.toByteArray() + ':';
                }
                out->m_items.append(Item());
                item = &out->m_items.last();
                item->begin = s.tokenBegin();
                item->contentBegin = s.tokenEnd();
                item->selfClosing = s.isSelfClosing();
            } else if (item && local == "t" &&
                       (s.depth() == 3 || (s.depth() == 4 && textDepth == 3))) {
                if (!s.readElementText(&raw)) {
                    *reason = QStringLiteral("shared strings: %1").arg(s.errorString());
                    return false;
                }
                item->text += XString::decode(raw);
            } else if (item && s.depth() == 3) {
                // <r> holds text; <rPh> (phonetic) and the rest do not.
                textDepth = local == "r" ? 3 : 0;
                if (local != "r" && !s.skipElement()) {
                    *reason = QStringLiteral("shared strings: %1").arg(s.errorString());
                    return false;
                }
            }
        } else if (t == xml::XmlScanner::EndElement && item && s.depth() == 2) {
            item->contentEnd = s.tokenBegin();
            item->end = s.tokenEnd();
            item = nullptr;
        }
    }
}

QByteArray SharedStrings::element(int index) const
{
    const Item &item = m_items[index];
    const auto changed = m_changed.constFind(index);
    if (changed == m_changed.constEnd())
        return m_xml.mid(int(item.begin), int(item.end - item.begin));
    return "<" + m_prefix + "si>" + changed.value() + "</" + m_prefix + "si>";
}

void SharedStrings::setItem(int index, const QByteArray &children, const QString &text)
{
    m_changed.insert(index, children);
    m_items[index].text = text;
}

QByteArray SharedStrings::serialize() const
{
    xml::Splicer splicer;
    for (auto it = m_changed.constBegin(); it != m_changed.constEnd(); ++it) {
        const Item &item = m_items[it.key()];
        if (item.selfClosing)
            splicer.replace(item.begin, item.end,
                            "<" + m_prefix + "si>" + it.value() + "</" + m_prefix + "si>");
        else
            splicer.replace(item.contentBegin, item.contentEnd, it.value());
    }
    QByteArray out;
    return splicer.apply(m_xml, &out) ? out : m_xml;
}

} // namespace workbook::ooxml
