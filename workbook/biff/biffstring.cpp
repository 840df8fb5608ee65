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

QString BiffString::read(cfb::ByteCursor &c, int countBytes, const QVector<qsizetype> &continues)
{
    const int count = countBytes == 1 ? c.u8() : c.u16();
    const quint8 flags = c.u8();
    int runs = 0;
    qint64 phonetic = 0;
    if (flags & 0x08)
        runs = c.u16();
    if (flags & 0x04)
        phonetic = qint32(c.u32());
    if (!c.ok() || phonetic < 0)
        return c.fail(), QString();
    const QString text = chars(c, count, flags & 0x01, continues);
    c.skip(qint64(runs) * 4 + phonetic);
    return c.ok() ? text : QString();
}

bool BiffString::skip(cfb::ByteCursor &c, int countBytes, const QVector<qsizetype> &continues)
{
    int left = countBytes == 1 ? c.u8() : c.u16();
    const quint8 flags = c.u8();
    int runs = 0;
    qint64 phonetic = 0;
    if (flags & 0x08)
        runs = c.u16();
    if (flags & 0x04)
        phonetic = qint32(c.u32());
    if (!c.ok() || phonetic < 0)
        return c.fail(), false;
    bool wide = flags & 0x01;
    qsizetype boundary = continues.isEmpty() ? -1 : nextBoundary(continues, c.position() - 1);
    while (left > 0 && c.ok()) {
        if (boundary >= 0 && boundary == c.position()) {
            wide = c.u8() & 0x01;
            boundary = nextBoundary(continues, boundary);
        }
        const qsizetype avail = boundary < 0 ? c.remaining() : boundary - c.position();
        const int fit = int(qMin<qsizetype>(left, wide ? avail / 2 : avail));
        if (fit <= 0)
            return c.fail(), false;
        c.skip(wide ? qsizetype(fit) * 2 : fit);
        left -= fit;
    }
    c.skip(qint64(runs) * 4 + phonetic);
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
    int left = count;
    // The first boundary at or after the cursor: one search per string, not two per piece.
    qsizetype boundary = continues.isEmpty() ? -1 : nextBoundary(continues, c.position() - 1);
    while (left > 0 && c.ok()) {
        if (boundary >= 0 && boundary == c.position()) {
            wide = c.u8() & 0x01;
            boundary = nextBoundary(continues, boundary);
        }
        const qsizetype avail = boundary < 0 ? c.remaining() : boundary - c.position();
        const int fit = int(qMin<qsizetype>(left, wide ? avail / 2 : avail));
        if (fit <= 0) {
            c.fail();
            return QString();
        }
        out += wide ? c.utf16(fit) : c.latin1(fit);
        left -= fit;
    }
    return c.ok() ? out : QString();
}

} // namespace workbook::biff
