#include "workbook/xml/xmlescape.h"

namespace workbook::xml
{

namespace
{

QByteArray escape(const QString &text, bool attribute)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 16);
    for (const char c : utf8) {
        switch (c) {
        case '&':
            out.append("&amp;");
            break;
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        case '"':
            out.append(attribute ? "&quot;" : "\"");
            break;
        case '\t':
            out.append(attribute ? "&#9;" : "\t");
            break;
        case '\n':
            out.append(attribute ? "&#10;" : "\n");
            break;
        case '\r':
            out.append("&#13;");
            break;
        default:
            out.append(c);
        }
    }
    return out;
}

} // namespace

QByteArray escapeText(const QString &text)
{
    return escape(text, false);
}

QByteArray escapeAttribute(const QString &text)
{
    return escape(text, true);
}

} // namespace workbook::xml
