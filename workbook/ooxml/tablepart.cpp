#include "workbook/ooxml/tablepart.h"

#include "workbook/ooxml/xstring.h"
#include "workbook/text/sharedformulashift.h"
#include "workbook/xml/splicer.h"
#include "workbook/xml/xmlescape.h"
#include "workbook/xml/xmlscanner.h"

namespace workbook::ooxml
{

bool TablePart::parse(const QByteArray &xml, TablePart *out, QString *reason)
{
    *out = TablePart();
    xml::XmlScanner s(xml);
    bool seenTable = false;
    for (;;) {
        const xml::XmlScanner::Token t = s.next();
        if (t == xml::XmlScanner::EndOfDocument)
            break;
        if (t == xml::XmlScanner::Invalid) {
            *reason = QStringLiteral("table: %1").arg(s.errorString());
            return false;
        }
        if (t != xml::XmlScanner::StartElement)
            continue;
        const xml::ByteSpan local = s.localName();
        if (local == "table" && s.depth() == 1) {
            seenTable = true;
            QString ref, headerRows;
            s.attributeText("displayName", &out->m_name);
            if (out->m_name.isEmpty())
                s.attributeText("name", &out->m_name);
            s.attributeText("ref", &ref);
            if (s.attributeText("headerRowCount", &headerRows))
                out->m_hasHeaderRow = headerRows.trimmed() != QLatin1String("0");
            const int colon = ref.indexOf(QLatin1Char(':'));
            int lastColumn = 0;
            if (colon < 0 ||
                !SharedFormulaShift::parseCell(QStringView(ref).left(colon), &out->m_firstRow,
                                               &out->m_firstColumn) ||
                !SharedFormulaShift::parseCell(QStringView(ref).mid(colon + 1), &out->m_lastRow,
                                               &lastColumn)) {
                *reason = QStringLiteral("table: expected a range like A1:C9, found '%1'").arg(ref);
                return false;
            }
        } else if (local == "tableColumn" && s.depth() == 3) {
            const xml::XmlScanner::Attribute *a = s.attribute("name");
            QString raw;
            if (!a || !xml::XmlScanner::decodeText(a->value, &raw)) {
                *reason = QStringLiteral("table: expected a column name");
                return false;
            }
            Column c;
            c.name = XString::decode(raw);
            c.nameBegin = a->value.data - xml.constData();
            c.nameEnd = c.nameBegin + a->value.size;
            out->m_columns.append(c);
        }
    }
    if (!seenTable || out->m_columns.isEmpty()) {
        *reason = QStringLiteral("table: expected a table with columns");
        return false;
    }
    return true;
}

bool TablePart::withColumnName(const QByteArray &xml, int index, const QString &name,
                               QByteArray *out) const
{
    const Column &c = m_columns[index];
    xml::Splicer splicer;
    splicer.replace(c.nameBegin, c.nameEnd, xml::escapeAttribute(XString::encode(name)));
    return splicer.apply(xml, out);
}

} // namespace workbook::ooxml
