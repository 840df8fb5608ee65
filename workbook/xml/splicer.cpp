#include "workbook/xml/splicer.h"

#include <algorithm>

namespace workbook::xml
{

void Splicer::replace(qsizetype begin, qsizetype end, const QByteArray &bytes)
{
    m_edits.push_back(Edit{begin, end, bytes, m_edits.size()});
}

bool Splicer::apply(const QByteArray &original, QByteArray *out)
{
    std::stable_sort(m_edits.begin(), m_edits.end(), [](const Edit &a, const Edit &b) {
        return a.begin != b.begin ? a.begin < b.begin : a.order < b.order;
    });
    qsizetype size = original.size();
    qsizetype pos = 0;
    for (const Edit &e : m_edits) {
        if (e.begin < pos || e.end < e.begin || e.end > original.size())
            return false;
        size += e.bytes.size() - (e.end - e.begin);
        pos = e.end;
    }
    QByteArray result;
    result.reserve(int(size));
    pos = 0;
    for (const Edit &e : m_edits) {
        result.append(original.constData() + pos, int(e.begin - pos));
        result.append(e.bytes);
        pos = e.end;
    }
    result.append(original.constData() + pos, int(original.size() - pos));
    *out = result;
    return true;
}

} // namespace workbook::xml
