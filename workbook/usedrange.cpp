#include "workbook/usedrange.h"

#include "workbook/document.h"
#include "workbook/workbook.h"

namespace workbook
{

UsedRange::UsedRange(Workbook *workbook, int sheetIndex)
    : m_workbook(workbook), m_sheetIndex(sheetIndex)
{
}

bool UsedRange::Find(const QString &what, Error *error)
{
    m_lastError.clear();
    bool hit = false;
    bool searched = false;
    // The empty search text matches nothing.
    const bool sound = m_workbook->guarded([&](Document &d) {
        searched = true;
        if (!what.isEmpty())
            hit = d.find(m_sheetIndex, what, &m_lastError);
    });
    if (!sound) {
        hit = false;
        m_lastError = m_workbook->givenUp();
    }
    Document *d = m_workbook->document();
    m_hasMiss = sound && searched && d && !hit && !m_lastError.isSet();
    if (m_hasMiss) {
        m_missed = what;
        m_missedAt = d->changeCount();
    }
    if (error)
        *error = m_lastError;
    return hit;
}

bool UsedRange::Replace(const QString &what, const QString &with, Error *error)
{
    m_lastError.clear();
    bool changed = false;
    const bool sound = m_workbook->guarded([&](Document &d) {
        // Runs replace on every sheet right after searching it: what Find saw nowhere,
        // Replace cannot change, so the second pass over the cells is spared.
        const bool missed = m_hasMiss && m_missedAt == d.changeCount() && m_missed == what;
        changed = !what.isEmpty() && !missed && d.replace(m_sheetIndex, what, with, &m_lastError);
    });
    if (!sound) {
        changed = false;
        m_lastError = m_workbook->givenUp();
    }
    if (error)
        *error = m_lastError;
    return changed;
}

} // namespace workbook
