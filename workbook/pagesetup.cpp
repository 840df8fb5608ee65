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
    Document *d = m_workbook->document();
    return d ? d->headerFooterSection(m_sheetIndex, which) : QString();
}

bool PageSetup::setSection(HeaderFooterSection which, const QString &text, QString *reason)
{
    Document *d = m_workbook->document();
    if (!d) {
        if (reason)
            *reason = QStringLiteral("the workbook is closed");
        return false;
    }
    QString why;
    const bool ok = d->setHeaderFooterSection(m_sheetIndex, which, text, &why);
    if (!ok && reason)
        *reason = why;
    return ok;
}

} // namespace workbook
