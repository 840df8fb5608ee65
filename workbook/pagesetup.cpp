#include "workbook/pagesetup.h"

#include "workbook/document.h"
#include "workbook/workbook.h"

namespace workbook
{

PageSetup::PageSetup(Workbook *workbook, int sheetIndex)
    : m_workbook(workbook), m_sheetIndex(sheetIndex)
{
}

QString PageSetup::section(HeaderFooterSection which) const
{
    QString text;
    m_workbook->guarded([&](Document &d) { text = d.headerFooterSection(m_sheetIndex, which); });
    return text;
}

bool PageSetup::setSection(HeaderFooterSection which, const QString &text, QString *reason)
{
    QString why = QStringLiteral("the workbook is closed");
    bool ok = false;
    if (!m_workbook->guarded(
            [&](Document &d) { ok = d.setHeaderFooterSection(m_sheetIndex, which, text, &why); }))
        ok = false;
    if (!m_workbook->failure().isEmpty())
        why = m_workbook->failure();
    if (!ok && reason)
        *reason = why;
    return ok;
}

} // namespace workbook
