#include "workbook/ooxml/richtext.h"

#include "workbook/ooxml/xstring.h"
#include "workbook/text/findpattern.h"
#include "workbook/xml/xmlescape.h"
#include "workbook/xml/xmlscanner.h"

#include <algorithm>

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

bool RichText::parse(const QByteArray &element, RichText *out)
{
    *out = RichText();
    xml::XmlScanner s(element);
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
            out->m_runs.append(run);
        } else if (s.depth() == 2 && local == "r") {
            out->m_runs.append(Run());
            current = &out->m_runs.last();
            current->isRun = true;
        } else if (s.depth() == 3 && current && local == "rPr") {
            const qsizetype begin = s.tokenBegin();
            if (!s.skipElement())
                return false;
            current->properties = element.mid(int(begin), int(s.tokenEnd() - begin));
        } else if (s.depth() == 3 && current && local == "t") {
            QString raw;
            if (!s.readElementText(&raw))
                return false;
            current->text += XString::decode(raw);
        } else if (s.depth() == 2 && local == "phoneticPr") {
            const qsizetype begin = s.tokenBegin();
            if (!s.skipElement())
                return false;
            out->m_phoneticProperties = element.mid(int(begin), int(s.tokenEnd() - begin));
        } else if (s.depth() == 2) {
            // rPh and anything unknown: not part of the cell's text.
            current = nullptr;
            if (!s.skipElement())
                return false;
        }
    }
}

QString RichText::plainText() const
{
    if (m_runs.size() == 1)
        return m_runs[0].text;
    QString out;
    for (const Run &r : m_runs)
        out += r.text;
    return out;
}

RichText RichText::replaced(const FindPattern &pattern, const QString &with) const
{
    RichText out;
    out.m_phoneticProperties = m_phoneticProperties;
    if (m_runs.isEmpty())
        return out;
    out.m_runs = m_runs;
    QVector<qsizetype> ends; // run boundaries in the plain text
    qsizetype total = 0;
    for (Run &r : out.m_runs) {
        total += r.text.size();
        ends.append(total);
        r.text.clear();
    }
    const QString plain = plainText();
    // Binary search: a long string with thousands of runs and matches stays fast.
    auto runAt = [&](qsizetype pos) {
        const auto it = std::upper_bound(ends.cbegin(), ends.cend(), pos);
        return it == ends.cend() ? int(ends.size()) - 1 : int(it - ends.cbegin());
    };
    auto copy = [&](qsizetype from, qsizetype to) {
        while (from < to) {
            const int r = runAt(from);
            const qsizetype stop = qMin(to, ends[r]);
            out.m_runs[r].text += plain.mid(int(from), int(stop - from));
            from = stop;
        }
    };
    const QVector<FindPattern::Match> matches = pattern.replaceMatches(plain);
    qsizetype cursor = 0;
    for (const FindPattern::Match &m : matches) {
        copy(cursor, m.start);
        out.m_runs[runAt(m.start)].text += with;
        cursor = m.start + m.length;
    }
    copy(cursor, plain.size());
    // Runs left without text would be empty formatting; keep at least one run.
    QVector<Run> kept;
    for (const Run &r : out.m_runs) {
        if (!r.text.isEmpty())
            kept.append(r);
    }
    if (kept.isEmpty())
        kept.append(out.m_runs.first());
    out.m_runs = kept;
    return out;
}

QByteArray RichText::textElement(const QByteArray &prefix, const QString &text)
{
    QByteArray out = "<" + prefix + "t";
    if (needsPreserve(text))
        out += " xml:space=\"preserve\"";
    out += ">" + xml::escapeText(XString::encode(text)) + "</" + prefix + "t>";
    return out;
}

QByteArray RichText::toXml(const QByteArray &prefix) const
{
    QByteArray out;
    if (isPlain()) {
        out = textElement(prefix, m_runs.isEmpty() ? QString() : m_runs[0].text);
    } else {
        for (const Run &r : m_runs) {
            if (!r.isRun) {
                out += textElement(prefix, r.text);
                continue;
            }
            out += "<" + prefix + "r>" + r.properties + textElement(prefix, r.text) + "</" +
                   prefix + "r>";
        }
    }
    out += m_phoneticProperties;
    return out;
}

} // namespace workbook::ooxml
