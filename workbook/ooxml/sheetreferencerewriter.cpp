#include "workbook/ooxml/sheetreferencerewriter.h"

#include "workbook/ooxml/xstring.h"
#include "workbook/text/casefolding.h"
#include "workbook/text/formulasheetrename.h"
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
           local == "calculatedColumnFormula" || local == "totalsRowFormula";
}

bool isFormulaAttribute(const xml::ByteSpan &element, const xml::ByteSpan &attribute)
{
    if (element == "hyperlink")
        return attribute == "location";
    if (element == "formControlPr")
        return attribute == "fmlaLink" || attribute == "fmlaRange" || attribute == "fmlaTxbx" ||
               attribute == "fmlaGroup";
    return false;
}

// Whether haystack holds needle, ASCII letters compared ignoring case.
bool containsIgnoringAsciiCase(const QByteArray &haystack, const QByteArray &needle)
{
    const qsizetype n = needle.size();
    const char *h = haystack.constData();
    const qsizetype size = haystack.size();
    auto same = [](char a, char b) {
        const char la = char(a | 0x20);
        return a == b || (la == char(b | 0x20) && la >= 'a' && la <= 'z');
    };
    for (qsizetype i = 0; i + n <= size; ++i) {
        qsizetype k = 0;
        while (k < n && same(h[i + k], needle[int(k)]))
            ++k;
        if (k == n)
            return true;
    }
    return false;
}

// A name that XML may store escaped or a formula may write with doubled quotes cannot be
// looked for byte for byte.
bool searchableAsBytes(const QString &name)
{
    for (const QChar c : name) {
        if (c.unicode() >= 0x80 || c == QLatin1Char('\'') || c == QLatin1Char('&') ||
            c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('"'))
            return false;
    }
    return !name.isEmpty();
}

} // namespace

bool SheetReferenceRewriter::rewrite(const QByteArray &xml, const QString &oldName,
                                     const QString &newName, QByteArray *out, bool *changed,
                                     QString *reason)
{
    *changed = false;
    // A part that cannot mention the name needs no scan.
    if (searchableAsBytes(oldName) && !containsIgnoringAsciiCase(xml, oldName.toLatin1())) {
        *out = xml;
        return true;
    }
    xml::XmlScanner s(xml);
    xml::Splicer splicer;
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
        for (const xml::XmlScanner::Attribute &a : s.attributes()) {
            const bool literal = local == "worksheetSource" && a.name == "sheet";
            if (!literal && !isFormulaAttribute(local, a.name))
                continue;
            QString value;
            if (!xml::XmlScanner::decodeText(a.value, &value))
                continue;
            const qsizetype begin = a.value.data - xml.constData();
            if (literal) {
                if (CaseFolding::equal(value, oldName))
                    splicer.replace(begin, begin + a.value.size, xml::escapeAttribute(newName));
            } else if (const auto r = FormulaSheetRename::rename(value, oldName, newName)) {
                splicer.replace(begin, begin + a.value.size, xml::escapeAttribute(*r));
            }
        }
        if (!isFormulaElement(local) || s.isSelfClosing())
            continue;
        const qsizetype contentBegin = s.tokenEnd();
        QString raw;
        if (!s.readElementText(&raw)) {
            *reason = s.errorString();
            return false;
        }
        const std::optional<QString> r =
            FormulaSheetRename::rename(XString::decode(raw), oldName, newName);
        if (r)
            splicer.replace(contentBegin, s.tokenBegin(), xml::escapeText(XString::encode(*r)));
    }
    if (splicer.isEmpty()) {
        *out = xml;
        return true;
    }
    if (!splicer.apply(xml, out)) {
        *reason = QStringLiteral("overlapping changes");
        return false;
    }
    *changed = true;
    return true;
}

} // namespace workbook::ooxml
