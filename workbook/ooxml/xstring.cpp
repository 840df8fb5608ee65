#include "workbook/ooxml/xstring.h"

#include <QTextCodec>

namespace workbook::ooxml
{

namespace
{

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Whether text holds _xHHHH_ at i; its value in *value.
bool escapeAt(const QString &text, int i, ushort *value)
{
    if (i + 7 > text.size() || text[i] != QLatin1Char('_') || text[i + 1] != QLatin1Char('x') ||
        text[i + 6] != QLatin1Char('_'))
        return false;
    int v = 0;
    for (int k = 2; k < 6; ++k) {
        const int h = hexValue(text[i + k]);
        if (h < 0)
            return false;
        v = v * 16 + h;
    }
    *value = ushort(v);
    return true;
}

bool needsEscape(ushort u)
{
    return (u < 0x20 && u != '\t' && u != '\n') || u == 0xFFFE || u == 0xFFFF;
}

// A surrogate without its partner (stored as _xD800_ and the like) has no UTF-8 form: written
// plainly it would turn into "?". Escaped again it stays as it was stored.
bool unpairedSurrogateAt(const QString &text, int i)
{
    const QChar c = text[i];
    if (c.isHighSurrogate())
        return i + 1 >= text.size() || !text[i + 1].isLowSurrogate();
    if (c.isLowSurrogate())
        return i == 0 || !text[i - 1].isHighSurrogate();
    return false;
}

} // namespace

QString XString::decode(const QString &stored)
{
    if (!stored.contains(QLatin1String("_x")))
        return stored;
    QString out;
    out.reserve(stored.size());
    for (int i = 0; i < stored.size();) {
        ushort v;
        if (escapeAt(stored, i, &v)) {
            out.append(QChar(v));
            i += 7;
        } else {
            out.append(stored[i++]);
        }
    }
    return out;
}

bool XString::storedExactly(const char *xml, qsizetype size)
{
    // Text between tags: entity references resolve to what encode() writes back as they were
    // or as plain characters, so only the escapes and the UTF-8 need looking at.
    const QByteArray bytes = QByteArray::fromRawData(xml, int(size));
    QTextCodec::ConverterState state;
    static QTextCodec *const utf8 = QTextCodec::codecForName("UTF-8");
    const QString decoded = utf8->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars != 0)
        return false;
    if (!decoded.contains(QLatin1String("_x")))
        return true;
    int at = 0;
    while ((at = decoded.indexOf(QLatin1String("_x"), at)) >= 0) {
        const int close = decoded.indexOf(QLatin1Char('<'), at);
        const int open = decoded.lastIndexOf(QLatin1Char('>'), at);
        const int start = open < 0 ? 0 : open + 1;
        const int end = close < 0 ? decoded.size() : close;
        const QString text = decoded.mid(start, end - start);
        if (encode(decode(text)) != text)
            return false;
        at = end;
    }
    return true;
}

QString XString::encode(const QString &text)
{
    bool plain = true;
    for (const QChar c : text) {
        if (needsEscape(c.unicode()) || c == QLatin1Char('_') || c.isSurrogate()) {
            plain = false;
            break;
        }
    }
    if (plain)
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (int i = 0; i < text.size(); ++i) {
        const ushort u = text[i].unicode();
        ushort ignored;
        if (needsEscape(u) || (u == '_' && escapeAt(text, i, &ignored)) ||
            unpairedSurrogateAt(text, i))
            out.append(QLatin1String("_x") +
                       QString::number(u, 16).toUpper().rightJustified(4, QLatin1Char('0')) +
                       QLatin1Char('_'));
        else
            out.append(text[i]);
    }
    return out;
}

} // namespace workbook::ooxml
