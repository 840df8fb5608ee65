#include "workbook/ooxml/headerfooterpart.h"

#include "workbook/ooxml/xstring.h"
#include "workbook/xml/splicer.h"
#include "workbook/xml/xmlescape.h"
#include "workbook/xml/xmlscanner.h"

namespace workbook::ooxml
{

namespace
{

// Top-level elements that come after <headerFooter> in worksheets, chart sheets and dialog
// sheets alike.
bool followsHeaderFooter(const xml::ByteSpan &local)
{
    static const char *const names[] = {
        "rowBreaks",       "colBreaks",       "customProperties", "cellWatches",
        "ignoredErrors",   "smartTags",       "drawing",          "legacyDrawing",
        "legacyDrawingHF", "drawingHF",       "picture",          "oleObjects",
        "controls",        "webPublishItems", "tableParts",       "extLst"};
    for (const char *n : names) {
        if (local == n)
            return true;
    }
    return false;
}

struct Layout {
    QByteArray prefix;
    qsizetype insertAt = -1; // where a new <headerFooter> goes
    qsizetype hfBegin = -1, hfTagEnd = -1, hfEnd = -1;
    bool hfSelfClosing = false;
    qsizetype hfContentEnd = -1;
    // Each of oddHeader (0) and oddFooter (1).
    qsizetype begin[2] = {-1, -1};
    qsizetype end[2] = {-1, -1};
    QString text[2];
};

bool scan(const QByteArray &xml, Layout *l, QString *reason)
{
    xml::XmlScanner s(xml);
    bool sawChild = false;
    for (;;) {
        const xml::XmlScanner::Token t = s.next();
        if (t == xml::XmlScanner::EndOfDocument)
            return true;
        if (t == xml::XmlScanner::Invalid) {
            *reason = QStringLiteral("sheet header and footer: %1").arg(s.errorString());
            return false;
        }
        if (t == xml::XmlScanner::EndElement && s.depth() == 1 && l->insertAt < 0)
            l->insertAt = s.tokenBegin();
        if (t != xml::XmlScanner::StartElement)
            continue;
        if (s.depth() != 2)
            continue;
        // New elements take the prefix of their siblings: a macro sheet's root has its own
        // namespace, its children the worksheet one.
        if (!sawChild) {
            const xml::ByteSpan p = s.prefix();
            l->prefix = p.isEmpty() ? QByteArray() : p.toByteArray() + ':';
            sawChild = true;
        }
        const xml::ByteSpan local = s.localName();
        if (local == "headerFooter") {
            l->hfBegin = s.tokenBegin();
            l->hfTagEnd = s.tokenEnd();
            l->hfSelfClosing = s.isSelfClosing();
            for (;;) {
                const xml::XmlScanner::Token c = s.next();
                if (c == xml::XmlScanner::Invalid || c == xml::XmlScanner::EndOfDocument) {
                    *reason = QStringLiteral("sheet header and footer: %1").arg(s.errorString());
                    return false;
                }
                if (c == xml::XmlScanner::EndElement && s.depth() == 2) {
                    l->hfContentEnd = s.tokenBegin();
                    l->hfEnd = s.tokenEnd();
                    break;
                }
                if (c != xml::XmlScanner::StartElement || s.depth() != 3)
                    continue;
                const int which = s.localName() == "oddHeader"   ? 0
                                  : s.localName() == "oddFooter" ? 1
                                                                 : -1;
                const qsizetype begin = s.tokenBegin();
                QString raw;
                if (!s.readElementText(&raw)) {
                    *reason = QStringLiteral("sheet header and footer: %1").arg(s.errorString());
                    return false;
                }
                if (which >= 0 && l->begin[which] < 0) {
                    l->begin[which] = begin;
                    l->end[which] = s.tokenEnd();
                    l->text[which] = XString::decode(raw);
                }
            }
            continue;
        } else if (followsHeaderFooter(local) && l->insertAt < 0) {
            l->insertAt = s.tokenBegin();
        }
        if (!s.skipElement()) {
            *reason = QStringLiteral("sheet header and footer: %1").arg(s.errorString());
            return false;
        }
    }
}

} // namespace

bool HeaderFooterPart::read(const QByteArray &xml, bool footer, QString *text, QString *reason)
{
    Layout l;
    if (!scan(xml, &l, reason))
        return false;
    *text = l.text[footer ? 1 : 0];
    return true;
}

bool HeaderFooterPart::write(const QByteArray &xml, bool footer, const QString &text,
                             QByteArray *out, QString *reason)
{
    Layout l;
    if (!scan(xml, &l, reason))
        return false;
    const int which = footer ? 1 : 0;
    const char *name = footer ? "oddFooter" : "oddHeader";
    const QByteArray element = text.isEmpty() ? QByteArray()
                                              : "<" + l.prefix + name + ">" +
                                                    xml::escapeText(XString::encode(text)) + "</" +
                                                    l.prefix + name + ">";
    xml::Splicer splicer;
    if (l.begin[which] >= 0) {
        splicer.replace(l.begin[which], l.end[which], element);
    } else if (element.isEmpty()) {
        *out = xml;
        return true;
    } else if (l.hfBegin >= 0) {
        if (l.hfSelfClosing) {
            QByteArray tag = xml.mid(int(l.hfBegin), int(l.hfTagEnd - l.hfBegin));
            tag.chop(2);
            splicer.replace(l.hfBegin, l.hfTagEnd,
                            tag + ">" + element + "</" + l.prefix + "headerFooter>");
        } else if (footer && l.begin[0] >= 0) {
            splicer.insert(l.end[0], element); // the footer follows the header
        } else {
            splicer.insert(l.hfTagEnd, element);
        }
    } else if (l.insertAt >= 0) {
        splicer.insert(l.insertAt, "<" + l.prefix + "headerFooter>" + element + "</" + l.prefix +
                                       "headerFooter>");
    } else {
        *reason = QStringLiteral("sheet header and footer: expected a root element");
        return false;
    }
    if (!splicer.apply(xml, out)) {
        *reason = QStringLiteral("sheet header and footer: overlapping changes");
        return false;
    }
    return true;
}

} // namespace workbook::ooxml
