#include "workbook/usedrange.h"

#include "workbook/document.h"
#include "workbook/workbook.h"

namespace workbook
{

UsedRange::UsedRange(Workbook *workbook, int sheetIndex)
    : m_workbook(workbook), m_sheetIndex(sheetIndex)
{
}

bool UsedRange::Find(const QString &what)
{
    m_lastError.clear();
    bool found = false;
    if (!m_workbook->guarded(
            [&](Document &d) { found = d.find(m_sheetIndex, what, &m_lastError); }))
        m_lastError = m_workbook->failure();
    return found && m_lastError.isEmpty();
}

bool UsedRange::Replace(const QString &what, const QString &with)
{
    m_lastError.clear();
    bool changed = false;
    if (!m_workbook->guarded(
            [&](Document &d) { changed = d.replace(m_sheetIndex, what, with, &m_lastError); }))
        m_lastError = m_workbook->failure();
    return changed && m_workbook->failure().isEmpty();
}

} // namespace workbook
