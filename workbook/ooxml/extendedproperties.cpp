#include "workbook/ooxml/extendedproperties.h"

#include "workbook/text/casefolding.h"
#include "workbook/text/formulasheetrename.h"
#include "workbook/xml/splicer.h"
#include "workbook/xml/xmlescape.h"
#include "workbook/xml/xmlscanner.h"

namespace workbook::ooxml
{

bool ExtendedProperties::renamed(const QByteArray &xml, const QString &oldName,
                                 const QString &newName, QByteArray *out, bool *changed,
                                 QString *reason)
{
    *changed = false;
    xml::XmlScanner s(xml);
    xml::Splicer splicer;
    int titlesDepth = 0;
    for (;;) {
        const xml::XmlScanner::Token t = s.next();
        if (t == xml::XmlScanner::EndOfDocument)
            break;
        if (t == xml::XmlScanner::Invalid) {
            *reason = QStringLiteral("document properties: %1").arg(s.errorString());
            return false;
        }
        if (t == xml::XmlScanner::EndElement && s.depth() == titlesDepth)
            titlesDepth = 0;
        if (t != xml::XmlScanner::StartElement)
            continue;
        if (s.localName() == "TitlesOfParts") {
            titlesDepth = s.depth();
            continue;
        }
        if (!titlesDepth || s.localName() != "lpstr")
            continue;
        const qsizetype begin = s.tokenEnd();
        QString title;
        if (!s.readElementText(&title)) {
            *reason = QStringLiteral("document properties: %1").arg(s.errorString());
            return false;
        }
        if (CaseFolding::equal(title, oldName))
            splicer.replace(begin, s.tokenBegin(), xml::escapeText(newName));
        else if (const auto r = FormulaSheetRename::rename(title, oldName, newName))
            splicer.replace(begin, s.tokenBegin(), xml::escapeText(*r));
    }
    if (splicer.isEmpty()) {
        *out = xml;
        return true;
    }
    if (!splicer.apply(xml, out)) {
        *reason = QStringLiteral("document properties: overlapping changes");
        return false;
    }
    *changed = true;
    return true;
}

} // namespace workbook::ooxml
