#include "workbook/ooxml/workbookpart.h"

#include "workbook/text/formulasheetrename.h"
#include "workbook/xml/splicer.h"
#include "workbook/xml/xmlescape.h"
#include "workbook/xml/xmlscanner.h"

namespace workbook::ooxml
{

namespace
{

bool isTrue(const QString &v)
{
    return v == QLatin1String("1") || v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

// Top-level elements that follow <calcPr> in CT_Workbook.
bool followsCalcPr(const xml::ByteSpan &local)
{
    static const char *const names[] = {"oleSize",        "customWorkbookViews", "pivotCaches",
                                        "smartTagPr",     "smartTagTypes",       "webPublishing",
                                        "fileRecoveryPr", "webPublishObjects",   "extLst"};
    for (const char *n : names) {
        if (local == n)
            return true;
    }
    return false;
}

} // namespace

bool WorkbookPart::parse(const QByteArray &xml, WorkbookPart *out, QString *reason,
                         const SheetCheck &check)
{
    *out = WorkbookPart();
    out->m_xml = xml;
    xml::XmlScanner s(xml);
    bool sawRoot = false;
    bool sawChild = false;
    for (;;) {
        const xml::XmlScanner::Token t = s.next();
        if (t == xml::XmlScanner::EndOfDocument)
            break;
        if (t == xml::XmlScanner::Invalid) {
            *reason = QStringLiteral("workbook part: %1").arg(s.errorString());
            return false;
        }
        if (t == xml::XmlScanner::EndElement && s.depth() == 1 && out->m_calcPrInsertAt < 0)
            out->m_calcPrInsertAt = s.tokenBegin();
        if (t != xml::XmlScanner::StartElement)
            continue;
        const xml::ByteSpan local = s.localName();
        if (s.depth() == 1) {
            if (local != "workbook") {
                *reason = QStringLiteral("workbook part: expected a <workbook> root, found <%1>")
                              .arg(s.name().toUtf8String());
                return false;
            }
            sawRoot = true;
            continue;
        }
        if (s.depth() == 2 && !sawChild) {
            // New elements take the prefix of their siblings.
            const xml::ByteSpan p = s.prefix();
            out->m_prefix = p.isEmpty() ? QByteArray() : p.toByteArray() + ':';
            sawChild = true;
        }
        if (s.depth() == 2) {
            if (local == "workbookPr") {
                QString v;
                if (s.attributeText("date1904", &v))
                    out->m_date1904 = isTrue(v);
            } else if (local == "calcPr") {
                out->m_calcPrBegin = s.tokenBegin();
                out->m_calcPrTagEnd = s.tokenEnd();
                if (const auto *a = s.attribute("fullCalcOnLoad")) {
                    out->m_fullCalcBegin = a->value.data - xml.constData();
                    out->m_fullCalcEnd = out->m_fullCalcBegin + a->value.size;
                }
            } else if (followsCalcPr(local) && out->m_calcPrInsertAt < 0) {
                out->m_calcPrInsertAt = s.tokenBegin();
            }
            continue;
        }
        if (s.depth() == 3 && local == "sheet") {
            SheetEntry e;
            const auto *name = s.attribute("name");
            if (!name || !xml::XmlScanner::decodeText(name->value, &e.name)) {
                *reason = QStringLiteral("workbook part: expected a sheet name, found none");
                return false;
            }
            e.nameBegin = name->value.data - xml.constData();
            e.nameEnd = e.nameBegin + name->value.size;
            s.attributeText("id", &e.relationshipId, true);
            QString state;
            s.attributeText("state", &state);
            if (state == QLatin1String("hidden"))
                e.visibility = SheetVisibility::Hidden;
            else if (state == QLatin1String("veryHidden"))
                e.visibility = SheetVisibility::VeryHidden;
            if (check && !check(e, reason))
                return false;
            out->m_sheets.append(e);
        } else if (s.depth() == 3 && local == "definedName") {
            DefinedName d;
            d.textBegin = s.tokenEnd();
            if (!s.readElementText(&d.formula)) {
                *reason = QStringLiteral("workbook part: %1").arg(s.errorString());
                return false;
            }
            d.textEnd = s.tokenBegin();
            out->m_definedNames.append(d);
        }
    }
    if (!sawRoot) {
        *reason = QStringLiteral("workbook part: expected a <workbook> root, found none");
        return false;
    }
    return true;
}

bool WorkbookPart::renamed(int index, const QString &oldName, const QString &newName,
                           QByteArray *out, QString *reason) const
{
    xml::Splicer splicer;
    const SheetEntry &e = m_sheets[index];
    splicer.replace(e.nameBegin, e.nameEnd, xml::escapeAttribute(newName));
    for (const DefinedName &d : m_definedNames) {
        const std::optional<QString> r = FormulaSheetRename::rename(d.formula, oldName, newName);
        if (r)
            splicer.replace(d.textBegin, d.textEnd, xml::escapeText(*r));
    }
    if (splicer.apply(m_xml, out))
        return true;
    *reason = QStringLiteral("workbook part: the new names make the part too large");
    return false;
}

bool WorkbookPart::withFullCalcOnLoad(QByteArray *out, QString *reason) const
{
    xml::Splicer splicer;
    if (m_fullCalcBegin >= 0) {
        const QByteArray current =
            m_xml.mid(int(m_fullCalcBegin), int(m_fullCalcEnd - m_fullCalcBegin));
        if (current == "1" || current == "true") {
            *out = m_xml;
            return true;
        }
        splicer.replace(m_fullCalcBegin, m_fullCalcEnd, "1");
    } else if (m_calcPrBegin >= 0) {
        // Just after the element name, which keeps a self-closing tag intact.
        qsizetype at = m_calcPrBegin + 1;
        while (at < m_calcPrTagEnd && m_xml[int(at)] != ' ' && m_xml[int(at)] != '/' &&
               m_xml[int(at)] != '>' && m_xml[int(at)] != '\t' && m_xml[int(at)] != '\n' &&
               m_xml[int(at)] != '\r')
            ++at;
        splicer.insert(at, " fullCalcOnLoad=\"1\"");
    } else if (m_calcPrInsertAt >= 0) {
        splicer.insert(m_calcPrInsertAt, "<" + m_prefix + "calcPr fullCalcOnLoad=\"1\"/>");
    } else {
        *out = m_xml;
        return true;
    }
    if (splicer.apply(m_xml, out))
        return true;
    *reason = QStringLiteral("workbook part: the recalculation request makes the part too large");
    return false;
}

} // namespace workbook::ooxml
