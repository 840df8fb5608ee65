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
    if (m_projected < 0 && !m_original.isNull())
        m_projected = m_original.size();
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
    const qsizetype size = to - from;
    if (m_projected >= 0) {
        m_projected += size - (end - begin);
        if (m_projected > m_limit) {
            m_tooLarge = true;
            return;
        }
    }
    m_replaced = true;
    if (m_lastBytesAt >= 0 && size > 0 && m_bytes.size() - m_lastBytesAt == size &&
        memcmp(m_bytes.constData() + m_lastBytesAt, bytes.constData() + from, size_t(size)) == 0) {
        m_edits.push_back(Edit{quint32(begin), quint32(end), quint32(size) | kRepeat});
        return;
    }
    if (size > m_limit - m_bytes.size()) {
        m_tooLarge = true;
        return;
    }
    m_edits.push_back(Edit{quint32(begin), quint32(end), quint32(size)});
    m_lastBytesAt = m_bytes.size();
    m_bytes.append(bytes.constData() + from, int(size));
}

bool Splicer::prepare(const QByteArray &original, Plan *out)
{
    if (m_tooLarge || m_invalid || (t_faultMarker && original.contains(*t_faultMarker)))
        return false;
    const auto byBegin = [](const Edit &a, const Edit &b) { return a.begin < b.begin; };
    // Edits mostly arrive in document order, each edit's bytes right after the one's before.
    // Otherwise they are visited through a sorted list of their indices; stable, so that
    // insertions at one offset keep the order they were added in.
    out->inOrder = std::is_sorted(m_edits.begin(), m_edits.end(), byBegin);
    if (!out->inOrder) {
        out->order.resize(m_edits.size());
        out->bytesAt.resize(m_edits.size());
        quint32 at = 0;
        quint32 last = 0;
        for (size_t i = 0; i < m_edits.size(); ++i) {
            out->order[i] = quint32(i);
            if (m_edits[i].bytesSize & kRepeat) {
                out->bytesAt[i] = last;
            } else {
                out->bytesAt[i] = last = at;
                at += m_edits[i].bytesSize;
            }
        }
        std::stable_sort(out->order.begin(), out->order.end(), [this](quint32 a, quint32 b) {
            return m_edits[a].begin < m_edits[b].begin;
        });
    }
    qsizetype size = original.size();
    qsizetype pos = 0;
    for (size_t k = 0; k < m_edits.size(); ++k) {
        const Edit &e = out->nth(m_edits, k);
        if (e.begin < pos || qsizetype(e.end) > original.size())
            return false;
        size += qsizetype(e.bytesSize & ~kRepeat) - qsizetype(e.end - e.begin);
        if (size > kMaxBytes || size > m_limit) {
            m_tooLarge = size > m_limit;
            return false;
        }
        pos = e.end;
    }
    out->size = size;
    return size <= limits::kMaxPartSize;
}

qsizetype Splicer::Plan::bytesOf(const std::vector<Edit> &edits, size_t k)
{
    const Edit &e = nth(edits, k);
    if (!inOrder)
        return qsizetype(bytesAt[order[k]]);
    // In order, each edit's bytes follow the last edit's that stored any.
    if (!(e.bytesSize & kRepeat)) {
        last = running;
        running += e.bytesSize;
    }
    return last;
}

bool Splicer::apply(const QByteArray &original, QByteArray *out)
{
    Plan plan;
    if (!prepare(original, &plan))
        return false;
    QByteArray result;
    result.reserve(int(plan.size));
    qsizetype pos = 0;
    for (size_t k = 0; k < m_edits.size(); ++k) {
        const Edit &e = plan.nth(m_edits, k);
        const qsizetype at = plan.bytesOf(m_edits, k);
        result.append(original.constData() + pos, int(e.begin - pos));
        result.append(m_bytes.constData() + at, int(e.bytesSize & ~kRepeat));
        pos = e.end;
    }
    result.append(original.constData() + pos, int(original.size() - pos));
    *out = result;
    return true;
}

bool Splicer::applyInPlace(QByteArray *bytes)
{
    // Its own reference would make the bytes shared, and writing them copy them.
    m_original = QByteArray();
    Plan plan;
    if (!prepare(*bytes, &plan))
        return false;
    const qsizetype oldSize = bytes->size();
    if (plan.size > oldSize)
        bytes->resize(int(plan.size));
    char *d = bytes->data();
    const char *from = m_bytes.constData();
    const size_t count = m_edits.size();
    const auto sizeOf = [](const Edit &e) { return qsizetype(e.bytesSize & ~kRepeat); };
    const auto delta = [&](const Edit &e) { return sizeOf(e) - qsizetype(e.end - e.begin); };
    // The unchanged bytes after edit k, up to the next edit or the end.
    const auto tailEnd = [&](size_t k) {
        return k + 1 < count ? qsizetype(plan.nth(m_edits, k + 1).begin) : oldSize;
    };
    // Edit k's bytes go where its range began, moved by the edits before it (shift); the
    // bytes after it move by those and its own. Bytes that move left are moved first to
    // last, each onto bytes already read. A run of edits after which bytes move right is
    // placed last to first, so that nothing is overwritten before it is read: the bytes the
    // run writes end where the next edit's old range ends at the latest.
    qsizetype shift = 0;
    size_t k = 0;
    std::vector<qsizetype> runBytes;
    while (k < count) {
        const Edit &e = plan.nth(m_edits, k);
        const qsizetype after = shift + delta(e);
        if (after <= 0) {
            memcpy(d + e.begin + shift, from + plan.bytesOf(m_edits, k), size_t(sizeOf(e)));
            memmove(d + e.end + after, d + e.end, size_t(tailEnd(k) - e.end));
            shift = after;
            ++k;
            continue;
        }
        size_t end = k;
        qsizetype s = shift;
        runBytes.clear();
        while (end < count) {
            const qsizetype next = s + delta(plan.nth(m_edits, end));
            if (next <= 0)
                break;
            runBytes.push_back(plan.bytesOf(m_edits, end));
            s = next;
            ++end;
        }
        const qsizetype runShift = s;
        for (size_t i = end; i-- > k;) {
            const Edit &r = plan.nth(m_edits, i);
            memmove(d + r.end + s, d + r.end, size_t(tailEnd(i) - r.end));
            s -= delta(r);
            memcpy(d + r.begin + s, from + runBytes[i - k], size_t(sizeOf(r)));
        }
        shift = runShift;
        k = end;
    }
    if (plan.size < oldSize) {
        bytes->resize(int(plan.size));
        bytes->squeeze();
    }
    return true;
}

} // namespace workbook::xml
