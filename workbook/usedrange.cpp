#include "workbook/usedrange.h"

#include "workbook/document.h"
#include "workbook/workbook.h"

namespace workbook
{

UsedRange::UsedRange(Workbook *workbook, int sheetIndex)
    : m_workbook(workbook), m_sheetIndex(sheetIndex)
{
}

namespace
{

const char kClosed[] = "the workbook is closed";

} // namespace

bool UsedRange::Find(const QString &what, Error *error)
{
    m_lastError.clear();
    Document *d = m_workbook->document();
    bool hit = false;
    if (!d)
        fail(&m_lastError, Error::Kind::Io, QLatin1String(kClosed));
    else if (!what.isEmpty()) // the empty search text matches nothing
        hit = d->find(m_sheetIndex, what, &m_lastError);
    m_hasMiss = d && !hit && !m_lastError.isSet();
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
    Document *d = m_workbook->document();
    if (!d) {
        fail(&m_lastError, Error::Kind::Io, QLatin1String(kClosed));
        return fail(error, Error::Kind::Io, QLatin1String(kClosed));
    }
    // The empty search text matches nothing. Runs replace on every sheet right after
    // searching it: what Find saw nowhere, Replace cannot change, so the second pass over the
    // cells is spared.
    const bool missed = m_hasMiss && m_missedAt == d->changeCount() && m_missed == what;
    const bool changed =
        !what.isEmpty() && !missed && d->replace(m_sheetIndex, what, with, &m_lastError);
    if (error)
        *error = m_lastError;
    return changed;
}

} // namespace workbook
