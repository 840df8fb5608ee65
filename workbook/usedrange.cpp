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
    const bool hit = d ? d->find(m_sheetIndex, what, &m_lastError)
                       : fail(&m_lastError, Error::Kind::Io, QLatin1String(kClosed));
    if (error)
        *error = m_lastError;
    return hit;
}

bool UsedRange::Replace(const QString &what, const QString &with, Error *error)
{
    m_lastError.clear();
    Document *d = m_workbook->document();
    const bool changed = d ? d->replace(m_sheetIndex, what, with, &m_lastError)
                           : fail(&m_lastError, Error::Kind::Io, QLatin1String(kClosed));
    if (error)
        *error = m_lastError;
    return changed;
}

} // namespace workbook
