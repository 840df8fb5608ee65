#include "workbook/ooxml/sheetprotection.h"

#include "workbook/xml/xmlscanner.h"

namespace workbook::ooxml
{

bool SheetProtection::isProtected(const QByteArray &xml)
{
    // Most sheets are not protected: one byte search spares them a second scan.
    if (!xml.contains("sheetProtection"))
        return false;
    xml::XmlScanner s(xml);
    for (;;) {
        const xml::XmlScanner::Token t = s.next();
        if (t == xml::XmlScanner::EndOfDocument || t == xml::XmlScanner::Invalid)
            return false;
        if (t != xml::XmlScanner::StartElement || s.depth() != 2)
            continue;
        if (s.localName() == "sheetProtection") {
            QString v;
            return s.attributeText("sheet", &v) &&
                   (v == QLatin1String("1") || v == QLatin1String("true"));
        }
        if (!s.skipElement())
            return false;
    }
}

} // namespace workbook::ooxml
