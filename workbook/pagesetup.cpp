#include "workbook/pagesetup.h"

#include "workbook/document.h"
#include "workbook/workbook.h"

namespace workbook
{

PageSetup::PageSetup(Workbook *workbook, int sheetIndex)
    : m_workbook(workbook), m_sheetIndex(sheetIndex)
{
}

QString PageSetup::section(HeaderFooterSection which, Error *error) const
{
    Document *d = m_workbook->document();
    QString text;
    if (!d)
        fail(error, Error::Kind::Io, QStringLiteral("the workbook is closed"));
    else
        d->headerFooterSection(m_sheetIndex, which, &text, error);
    return text;
}

bool PageSetup::setSection(HeaderFooterSection which, const QString &text, Error *error)
{
    Document *d = m_workbook->document();
    if (!d)
        return fail(error, Error::Kind::Io, QStringLiteral("the workbook is closed"));
    return d->setHeaderFooterSection(m_sheetIndex, which, text, error);
}

bool PageSetup::setSection(HeaderFooterSection which, const QString &text, QString *reason)
{
    Error error;
    const bool ok = setSection(which, text, &error);
    if (!ok && reason)
        *reason = error.detail;
    return ok;
}

} // namespace workbook
