#include "workbook/xml/splicer.h"

#include <algorithm>

namespace workbook::xml
{

void Splicer::replace(qsizetype begin, qsizetype end, const QByteArray &bytes)
{
    m_edits.push_back(Edit{begin, end, m_bytes.size(), bytes.size()});
    m_bytes.append(bytes);
}

bool Splicer::apply(const QByteArray &original, QByteArray *out)
{
    // Stable: insertions at one offset keep the order they were added in.
    std::stable_sort(m_edits.begin(), m_edits.end(),
                     [](const Edit &a, const Edit &b) { return a.begin < b.begin; });
    qsizetype size = original.size();
    qsizetype pos = 0;
    for (const Edit &e : m_edits) {
        if (e.begin < pos || e.end < e.begin || e.end > original.size())
            return false;
        size += e.bytesSize - (e.end - e.begin);
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
