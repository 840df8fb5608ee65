#include "workbook/ooxml/contenttypes.h"

#include "workbook/xml/splicer.h"
#include "workbook/xml/xmlscanner.h"

namespace workbook::ooxml
{

bool ContentTypes::parse(const QByteArray &xml, ContentTypes *out, QString *reason)
{
    out->m_xml = xml;
    out->m_overrides.clear();
    out->m_defaults.clear();
    xml::XmlScanner s(xml);
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
            s.attributeText("PartName", &o.partName);
            s.attributeText("ContentType", &o.type);
            if (!s.skipElement()) {
                *reason = QStringLiteral("[Content_Types].xml: %1").arg(s.errorString());
                return false;
            }
            o.end = s.tokenEnd();
            out->m_overrides.append(o);
        } else if (s.localName() == "Default") {
            QString extension, type;
            s.attributeText("Extension", &extension);
            s.attributeText("ContentType", &type);
            out->m_defaults.append({extension, type});
        }
    }
}

QString ContentTypes::typeOf(const QString &partName) const
{
    for (const Override &o : m_overrides) {
        if (o.partName.compare(partName, Qt::CaseInsensitive) == 0)
            return o.type;
    }
    const int dot = partName.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot >= 0 ? partName.mid(dot + 1) : QString();
    for (const auto &d : m_defaults) {
        if (d.first.compare(extension, Qt::CaseInsensitive) == 0)
            return d.second;
    }
    return QString();
}

bool ContentTypes::withoutOverride(const QString &partName, QByteArray *out) const
{
    xml::Splicer splicer;
    for (const Override &o : m_overrides) {
        if (o.partName.compare(partName, Qt::CaseInsensitive) == 0)
            splicer.replace(o.begin, o.end, QByteArray());
    }
    return !splicer.isEmpty() && splicer.apply(m_xml, out);
}

} // namespace workbook::ooxml
