#include "workbook/biff/biffstring.h"

#include <algorithm>

namespace workbook::biff
{

namespace
{

// continues is sorted: the string table has thousands of boundaries.
qsizetype nextBoundary(const QVector<qsizetype> &continues, qsizetype position)
{
    const auto it = std::upper_bound(continues.begin(), continues.end(), position);
    return it == continues.end() ? -1 : *it;
}

} // namespace

bool BiffString::readHeader(cfb::ByteCursor &c, int countBytes, Header *out)
{
    out->count = countBytes == 1 ? c.u8() : c.u16();
    const quint8 flags = c.u8();
    out->wide = flags & 0x01;
    out->runs = (flags & 0x08) ? c.u16() : 0;
    out->phonetic = (flags & 0x04) ? qint64(qint32(c.u32())) : 0;
    if (!c.ok() || out->phonetic < 0)
        return c.fail(), false;
    return true;
}

QString BiffString::read(cfb::ByteCursor &c, int countBytes, const QVector<qsizetype> &continues)
{
    Header h;
    if (!readHeader(c, countBytes, &h))
        return QString();
    const QString text = chars(c, h.count, h.wide, continues);
    c.skip(qint64(h.runs) * 4 + h.phonetic);
    return c.ok() ? text : QString();
}

bool BiffString::skip(cfb::ByteCursor &c, int countBytes, const QVector<qsizetype> &continues)
{
    Header h;
    if (!readHeader(c, countBytes, &h))
        return false;
    walk(c, h.count, h.wide, continues, nullptr, nullptr);
    c.skip(qint64(h.runs) * 4 + h.phonetic);
    return c.ok();
}

QString BiffString::readNoCount(cfb::ByteCursor &c, int count, const QVector<qsizetype> &continues)
{
    const quint8 flags = c.u8();
    return chars(c, count, flags & 0x01, continues);
}

QString BiffString::chars(cfb::ByteCursor &c, int count, bool wide,
                          const QVector<qsizetype> &continues)
{
    QString out;
    return walk(c, count, wide, continues, &out, nullptr) ? out : QString();
}

bool BiffString::walk(cfb::ByteCursor &c, int count, bool wide, const QVector<qsizetype> &continues,
                      QString *text, bool *cut)
{
    int left = count;
    // The first boundary at or after the cursor: one search per string, not two per piece.
    qsizetype boundary = continues.isEmpty() ? -1 : nextBoundary(continues, c.position() - 1);
    while (left > 0 && c.ok()) {
        if (boundary >= 0 && boundary == c.position()) {
            wide = c.u8() & 0x01;
            boundary = nextBoundary(continues, boundary);
            if (cut)
                *cut = true;
        }
        const qsizetype avail = boundary < 0 ? c.remaining() : boundary - c.position();
        const int fit = int(qMin<qsizetype>(left, wide ? avail / 2 : avail));
        if (fit <= 0)
            return c.fail(), false;
        if (text && text->isEmpty() && fit == left)
            *text = wide ? c.utf16(fit) : c.latin1(fit); // in one piece: no copy to append
        else if (text)
            *text += wide ? c.utf16(fit) : c.latin1(fit);
        else
            c.skip(wide ? qsizetype(fit) * 2 : fit);
        left -= fit;
    }
    return c.ok();
}

} // namespace workbook::biff
