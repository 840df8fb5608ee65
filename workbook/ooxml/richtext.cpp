#include "workbook/ooxml/richtext.h"

#include "workbook/ooxml/xstring.h"
#include "workbook/xml/xmlescape.h"
#include "workbook/xml/xmlscanner.h"

namespace workbook::ooxml
{

namespace
{

bool needsPreserve(const QString &text)
{
    if (text.isEmpty())
        return false;
    auto space = [](QChar c) {
        return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
               c == QLatin1Char('\r');
    };
    return space(text.front()) || space(text.back()) || text.contains(QLatin1String("  ")) ||
           text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\t'));
}

} // namespace

bool RichText::parse(const QByteArray &element, edit::FormattedText *out)
{
    *out = edit::FormattedText();
    xml::XmlScanner s(element);
    using Run = edit::FormattedText::Run;
    QVector<Run> &runs = out->runs();
    Run *current = nullptr;
    for (;;) {
        const xml::XmlScanner::Token t = s.next();
        if (t == xml::XmlScanner::EndOfDocument)
            return true;
        if (t == xml::XmlScanner::Invalid)
            return false;
        if (t != xml::XmlScanner::StartElement)
            continue;
        const xml::ByteSpan local = s.localName();
        if (s.depth() == 2 && local == "t") {
            Run run;
            QString raw;
            if (!s.readElementText(&raw))
                return false;
            run.text = XString::decode(raw);
            runs.append(run);
        } else if (s.depth() == 2 && local == "r") {
            runs.append(Run());
            current = &runs.last();
            current->formatted = true;
        } else if (s.depth() == 3 && current && local == "rPr") {
            const qsizetype begin = s.tokenBegin();
            if (!s.skipElement())
                return false;
            current->format = element.mid(int(begin), int(s.tokenEnd() - begin));
        } else if (s.depth() == 3 && current && local == "t") {
            QString raw;
            if (!s.readElementText(&raw))
                return false;
            current->text += XString::decode(raw);
        } else if (s.depth() == 2 && local == "phoneticPr") {
            const qsizetype begin = s.tokenBegin();
            if (!s.skipElement())
                return false;
            out->extra = element.mid(int(begin), int(s.tokenEnd() - begin));
        } else if (s.depth() == 2) {
            // rPh and anything unknown: not part of the cell's text.
            current = nullptr;
            if (!s.skipElement())
                return false;
        }
    }
}

QByteArray RichText::textElement(const QByteArray &prefix, const QString &text)
{
    QByteArray out = "<" + prefix + "t";
    if (needsPreserve(text))
        out += " xml:space=\"preserve\"";
    out += ">" + xml::escapeText(XString::encode(text)) + "</" + prefix + "t>";
    return out;
}

QByteArray RichText::toXml(const edit::FormattedText &text, const QByteArray &prefix)
{
    QByteArray out;
    const QVector<edit::FormattedText::Run> &runs = text.runs();
    if (text.isPlain()) {
        out = textElement(prefix, runs.isEmpty() ? QString() : runs[0].text);
    } else {
        for (const edit::FormattedText::Run &r : runs) {
            if (!r.formatted) {
                out += textElement(prefix, r.text);
                continue;
            }
            out +=
                "<" + prefix + "r>" + r.format + textElement(prefix, r.text) + "</" + prefix + "r>";
        }
    }
    out += text.extra;
    return out;
}

} // namespace workbook::ooxml
