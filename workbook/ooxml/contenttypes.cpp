#include "workbook/ooxml/contenttypes.h"

#include "workbook/xml/splicer.h"
#include "workbook/xml/xmlscanner.h"

#include <cstring>

namespace workbook::ooxml
{

bool ContentTypes::parse(const QByteArray &xml, ContentTypes *out, QString *reason)
{
    out->m_xml = xml;
    out->m_overrides.clear();
    out->m_defaults.clear();
    xml::XmlScanner s(xml);
    const auto valueOf = [&](const char *name) {
        const xml::XmlScanner::Attribute *a = s.attribute(name);
        return a ? Value{a->value.data - xml.constData(), a->value.size} : Value{};
    };
    for (;;) {
        const xml::XmlScanner::Token t = s.next();
        if (t == xml::XmlScanner::EndOfDocument)
            return true;
        if (t == xml::XmlScanner::Invalid) {
            *reason = QStringLiteral("[Content_Types].xml: %1").arg(s.errorString());
            return false;
        }
        if (t != xml::XmlScanner::StartElement || s.depth() != 2)
            continue;
        if (s.localName() == "Override") {
            Override o;
            o.begin = s.tokenBegin();
            o.partName = valueOf("PartName");
            o.type = valueOf("ContentType");
            if (!s.skipElement()) {
                *reason = QStringLiteral("[Content_Types].xml: %1").arg(s.errorString());
                return false;
            }
            o.end = s.tokenEnd();
            out->m_overrides.append(o);
        } else if (s.localName() == "Default") {
            out->m_defaults.append({valueOf("Extension"), valueOf("ContentType")});
        }
    }
}

QString ContentTypes::text(const Value &v) const
{
    QString decoded;
    if (!xml::XmlScanner::decodeText(m_xml.constData() + v.at, v.size, &decoded))
        return QString();
    return decoded;
}

bool ContentTypes::matches(const Value &v, const QString &name) const
{
    // Part names are ASCII nearly always: compare the bytes when no entity is involved.
    const char *raw = m_xml.constData() + v.at;
    if (v.size == name.size() && !memchr(raw, '&', size_t(v.size))) {
        bool ascii = true;
        for (qsizetype i = 0; i < v.size && ascii; ++i) {
            const char16_t c = name[int(i)].unicode();
            ascii = c < 0x80 && uchar(raw[i]) < 0x80;
            if (ascii && QChar::toLower(c) != QChar::toLower(char16_t(uchar(raw[i]))))
                return false;
        }
        if (ascii)
            return true;
    }
    return text(v).compare(name, Qt::CaseInsensitive) == 0;
}

QString ContentTypes::typeOf(const QString &partName) const
{
    for (const Override &o : m_overrides) {
        if (matches(o.partName, partName))
            return text(o.type);
    }
    const int dot = partName.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot >= 0 ? partName.mid(dot + 1) : QString();
    for (const Default &d : m_defaults) {
        if (matches(d.extension, extension))
            return text(d.type);
    }
    return QString();
}

bool ContentTypes::withoutOverride(const QString &partName, QByteArray *out) const
{
    xml::Splicer splicer;
    for (const Override &o : m_overrides) {
        if (matches(o.partName, partName))
            splicer.replace(o.begin, o.end, QByteArray());
    }
    if (splicer.isEmpty()) {
        *out = m_xml;
        return true;
    }
    return splicer.apply(m_xml, out);
}

} // namespace workbook::ooxml
