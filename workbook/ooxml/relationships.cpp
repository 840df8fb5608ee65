#include "workbook/ooxml/relationships.h"

#include "workbook/ooxml/package.h"
#include "workbook/xml/xmlscanner.h"

#include <algorithm>

namespace workbook::ooxml
{

namespace
{
constexpr int kInternedTypes = 16;
}

bool Relationships::parse(const QByteArray &xml, const QString &sourcePart, Relationships *out,
                          QString *reason)
{
    out->m_relationships.clear();
    out->m_byId.clear();
    // A workbook's relationships may number tens of thousands, nearly all of a few types:
    // equal types share one string, and so does a target equal to the one before.
    QVector<QString> types;
    QString lastTarget;
    xml::XmlScanner s(xml);
    for (;;) {
        const xml::XmlScanner::Token t = s.next();
        if (t == xml::XmlScanner::EndOfDocument)
            return true;
        if (t == xml::XmlScanner::Invalid) {
            *reason = QStringLiteral("relationships of %1: %2").arg(sourcePart, s.errorString());
            return false;
        }
        if (t != xml::XmlScanner::StartElement || s.depth() != 2 || s.localName() != "Relationship")
            continue;
        Relationship r;
        r.begin = s.tokenBegin();
        QString mode;
        s.attributeText("Id", &r.id);
        s.attributeText("Type", &r.type);
        s.attributeText("Target", &r.target);
        s.attributeText("TargetMode", &mode);
        r.external = mode.compare(QLatin1String("External"), Qt::CaseInsensitive) == 0;
        if (!r.external)
            r.target = Package::resolve(sourcePart, r.target);
        if (r.target == lastTarget)
            r.target = lastTarget;
        else
            lastTarget = r.target;
        const auto type = std::find(types.cbegin(), types.cend(), r.type);
        if (type != types.cend())
            r.type = *type;
        else if (types.size() < kInternedTypes)
            types.append(r.type);
        if (!s.skipElement()) {
            *reason = QStringLiteral("relationships of %1: %2").arg(sourcePart, s.errorString());
            return false;
        }
        r.end = s.tokenEnd();
        if (!out->m_byId.contains(r.id))
            out->m_byId.insert(r.id, out->m_relationships.size());
        out->m_relationships.append(r);
    }
}

const Relationships::Relationship *Relationships::byId(const QString &id) const
{
    const int index = m_byId.value(id, -1);
    return index >= 0 ? &m_relationships[index] : nullptr;
}

bool Relationships::hasType(const Relationship &r, const QString &typeSuffix)
{
    return r.type.endsWith(typeSuffix, Qt::CaseInsensitive) && r.type.size() > typeSuffix.size() &&
           r.type[r.type.size() - typeSuffix.size() - 1] == QLatin1Char('/');
}

const Relationships::Relationship *Relationships::firstOfType(const QString &typeSuffix) const
{
    for (const Relationship &r : m_relationships) {
        if (hasType(r, typeSuffix))
            return &r;
    }
    return nullptr;
}

} // namespace workbook::ooxml
