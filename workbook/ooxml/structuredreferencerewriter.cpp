#include "workbook/ooxml/structuredreferencerewriter.h"

#include "workbook/ooxml/xstring.h"
#include "workbook/text/sharedformulashift.h"
#include "workbook/text/structuredreferencerename.h"
#include "workbook/xml/splicer.h"
#include "workbook/xml/xmlescape.h"
#include "workbook/xml/xmlscanner.h"

namespace workbook::ooxml
{

namespace
{

bool isFormulaElement(const xml::ByteSpan &local)
{
    return local == "f" || local == "formula" || local == "formula1" || local == "formula2" ||
           local == "calculatedColumnFormula" || local == "totalsRowFormula" ||
           local == "definedName";
}

} // namespace

bool StructuredReferenceRewriter::rewrite(const QByteArray &xml, const QString &table,
                                          const QString &oldColumn, const QString &newColumn,
                                          bool wholePartInside,
                                          const std::function<bool(int, int)> &insideTable,
                                          QByteArray *out, bool *changed, QString *reason)
{
    *changed = false;
    // A part that cannot mention the table needs no scan; formulas inside the table may leave
    // its name out, so its own sheet and part are always scanned.
    if (!wholePartInside && !insideTable &&
        !QString::fromUtf8(xml).contains(table, Qt::CaseInsensitive)) {
        *out = xml;
        return true;
    }
    xml::XmlScanner s(xml);
    xml::Splicer splicer;
    int row = 0, column = 0;
    for (;;) {
        const xml::XmlScanner::Token t = s.next();
        if (t == xml::XmlScanner::EndOfDocument)
            break;
        if (t == xml::XmlScanner::Invalid) {
            *reason = s.errorString();
            return false;
        }
        if (t != xml::XmlScanner::StartElement)
            continue;
        const xml::ByteSpan local = s.localName();
        if (local == "c") {
            QString ref;
            row = column = 0;
            if (s.attributeText("r", &ref))
                SharedFormulaShift::parseCell(ref, &row, &column);
            continue;
        }
        if (!isFormulaElement(local) || s.isSelfClosing())
            continue;
        const bool inside =
            wholePartInside || (local == "f" && insideTable && row > 0 && insideTable(row, column));
        const qsizetype contentBegin = s.tokenEnd();
        QString raw;
        if (!s.readElementText(&raw)) {
            *reason = s.errorString();
            return false;
        }
        const std::optional<QString> r = StructuredReferenceRename::renameColumn(
            XString::decode(raw), table, oldColumn, newColumn, inside);
        if (r)
            splicer.replace(contentBegin, s.tokenBegin(), xml::escapeText(XString::encode(*r)));
    }
    if (splicer.isEmpty()) {
        *out = xml;
        return true;
    }
    if (!splicer.apply(xml, out)) {
        *reason = QStringLiteral("the renamed column's references could not be written");
        return false;
    }
    *changed = true;
    return true;
}

} // namespace workbook::ooxml
