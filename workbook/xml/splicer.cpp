#include "workbook/xml/splicer.h"

#include "workbook/limits.h"

#include <algorithm>
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
    if (bytes.size() > m_limit - m_bytes.size()) {
        m_tooLarge = true;
        return;
    }
    m_edits.push_back(
        Edit{quint32(begin), quint32(end), quint32(m_bytes.size()), quint32(bytes.size())});
    m_bytes.append(bytes);
}

bool Splicer::apply(const QByteArray &original, QByteArray *out)
{
    if (m_tooLarge || m_invalid || (t_faultMarker && original.contains(*t_faultMarker)))
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
    if (size > limits::kMaxPartSize)
        return false;
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
