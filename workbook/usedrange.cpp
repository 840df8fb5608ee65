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
    Document *d = m_workbook->document();
    return d && d->find(m_sheetIndex, what, &m_lastError);
}

bool UsedRange::Replace(const QString &what, const QString &with)
{
    m_lastError.clear();
    Document *d = m_workbook->document();
    return d && d->replace(m_sheetIndex, what, with, &m_lastError);
}

} // namespace workbook
