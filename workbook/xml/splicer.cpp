#include "workbook/xml/splicer.h"

#include "workbook/limits.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace workbook::xml
{

namespace
{

constexpr qsizetype kMaxBytes = std::numeric_limits<int>::max();
static_assert(limits::kMaxPartSize <= kMaxBytes);

thread_local const QByteArray *t_faultMarker = nullptr;

} // namespace

Splicer::FaultForTesting::FaultForTesting(const QByteArray &marker)
    : m_marker(marker), m_previous(t_faultMarker)
{
    t_faultMarker = &m_marker;
}

Splicer::FaultForTesting::~FaultForTesting()
{
    t_faultMarker = m_previous;
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
    m_edits.push_back(Edit{quint32(begin), quint32(end), quint32(to - from)});
    m_bytes.append(bytes.constData() + from, int(to - from));
}

bool Splicer::apply(const QByteArray &original, QByteArray *out)
{
    if (m_tooLarge || m_invalid || (t_faultMarker && original.contains(*t_faultMarker)))
        return false;
    const auto byBegin = [](const Edit &a, const Edit &b) { return a.begin < b.begin; };
    // Edits mostly arrive in document order, each edit's bytes right after the one's before.
    // Otherwise they are visited through a sorted list of their indices; stable, so that
    // insertions at one offset keep the order they were added in.
    const bool inOrder = std::is_sorted(m_edits.begin(), m_edits.end(), byBegin);
    std::vector<quint32> order;
    std::vector<quint32> bytesAt;
    if (!inOrder) {
        order.resize(m_edits.size());
        bytesAt.resize(m_edits.size());
        quint32 at = 0;
        for (size_t i = 0; i < m_edits.size(); ++i) {
            order[i] = quint32(i);
            bytesAt[i] = at;
            at += m_edits[i].bytesSize;
        }
        std::stable_sort(order.begin(), order.end(), [this](quint32 a, quint32 b) {
            return m_edits[a].begin < m_edits[b].begin;
        });
    }
    const auto nth = [&](size_t k) -> const Edit & {
        return inOrder ? m_edits[k] : m_edits[order[k]];
    };
    qsizetype size = original.size();
    qsizetype pos = 0;
    for (size_t k = 0; k < m_edits.size(); ++k) {
        const Edit &e = nth(k);
        if (e.begin < pos || qsizetype(e.end) > original.size())
            return false;
        size += qsizetype(e.bytesSize) - qsizetype(e.end - e.begin);
        if (size > kMaxBytes || size > m_limit) {
            m_tooLarge = size > m_limit;
            return false;
        }
        pos = e.end;
    }
    if (size > limits::kMaxPartSize)
        return false;
    QByteArray result;
    result.reserve(int(size));
    pos = 0;
    qsizetype running = 0;
    for (size_t k = 0; k < m_edits.size(); ++k) {
        const Edit &e = nth(k);
        const qsizetype at = inOrder ? running : qsizetype(bytesAt[order[k]]);
        running += e.bytesSize;
        result.append(original.constData() + pos, int(e.begin - pos));
        result.append(m_bytes.constData() + at, int(e.bytesSize));
        pos = e.end;
    }
    result.append(original.constData() + pos, int(original.size() - pos));
    *out = result;
    return true;
}

} // namespace workbook::xml
