#include "workbook/xml/splicer.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace workbook::xml
{

namespace
{
constexpr qsizetype kMaxBytes = std::numeric_limits<int>::max();
}

void Splicer::replace(qsizetype begin, qsizetype end, const QByteArray &bytes)
{
    if (m_tooLarge || m_invalid)
        return;
    if (begin < 0 || end < begin || end > kMaxBytes) {
        m_invalid = true;
        return;
    }
    qsizetype from = 0;
    qsizetype to = bytes.size();
    if (!m_original.isNull() && end <= m_original.size()) {
        const char *old = m_original.constData();
        if (end - begin == to && memcmp(old + begin, bytes.constData(), size_t(to)) == 0) {
            m_replaced = true;
            return;
        }
        // What the new bytes share with the old at either end stays where it is. A range
        // keeps one byte at least: as an insertion it could meet one of a neighbour at the
        // same offset, and their order would be lost.
        while (end - begin > 1 && from < to && old[begin] == bytes[int(from)]) {
            ++begin;
            ++from;
        }
        while (end - begin > 1 && from < to && old[end - 1] == bytes[int(to - 1)]) {
            --end;
            --to;
        }
    }
    if (to - from > m_limit - m_bytes.size()) {
        m_tooLarge = true;
        return;
    }
    m_replaced = true;
    m_edits.push_back(
        Edit{quint32(begin), quint32(end), quint32(m_bytes.size()), quint32(to - from)});
    m_bytes.append(bytes.constData() + from, int(to - from));
}

bool Splicer::apply(const QByteArray &original, QByteArray *out)
{
    if (m_tooLarge || m_invalid)
        return false;
    const auto byBegin = [](const Edit &a, const Edit &b) { return a.begin < b.begin; };
    // Edits mostly arrive in document order; a sort would need a buffer as large as them.
    // Stable: insertions at one offset keep the order they were added in.
    if (!std::is_sorted(m_edits.begin(), m_edits.end(), byBegin))
        std::stable_sort(m_edits.begin(), m_edits.end(), byBegin);
    qsizetype size = original.size();
    qsizetype pos = 0;
    for (const Edit &e : m_edits) {
        if (e.begin < pos || qsizetype(e.end) > original.size())
            return false;
        size += qsizetype(e.bytesSize) - qsizetype(e.end - e.begin);
        if (size > kMaxBytes || size > m_limit) {
            m_tooLarge = size > m_limit;
            return false;
        }
        pos = e.end;
    }
    QByteArray result;
    result.reserve(int(size));
    pos = 0;
    for (const Edit &e : m_edits) {
        result.append(original.constData() + pos, int(e.begin - pos));
        result.append(m_bytes.constData() + e.bytesAt, int(e.bytesSize));
        pos = e.end;
    }
    result.append(original.constData() + pos, int(original.size() - pos));
    *out = result;
    return true;
}

} // namespace workbook::xml
