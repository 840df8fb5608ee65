#include "workbook/sheet.h"

#include "workbook/document.h"
#include "workbook/pagesetup.h"
#include "workbook/usedrange.h"
#include "workbook/workbook.h"

namespace workbook
{

Sheet::Sheet(Workbook *workbook, int index)
    : m_workbook(workbook), m_index(index),
      m_pageSetup(std::make_unique<PageSetup>(workbook, index))
{
    const SheetKind k = kind();
    if (k == SheetKind::Worksheet || k == SheetKind::Macrosheet)
        m_usedRange = std::make_unique<UsedRange>(workbook, index);
}

Sheet::~Sheet() = default;

QString Sheet::Name() const
{
    Document *d = m_workbook->document();
    return d ? d->sheetName(m_index) : QString();
}

bool Sheet::SetName(const QString &name, Error *error)
{
    Document *d = m_workbook->document();
    if (!d)
        return fail(error, Error::Kind::Io, QStringLiteral("the workbook is closed"));
    return d->renameSheet(m_index, name, error);
}

bool Sheet::SetName(const QString &name, QString *reason)
{
    Error error;
    const bool ok = SetName(name, &error);
    if (!ok && reason)
        *reason = error.detail;
    return ok;
}

SheetKind Sheet::kind() const
{
    Document *d = m_workbook->document();
    return d ? d->sheetKind(m_index) : SheetKind::Worksheet;
}

SheetVisibility Sheet::visibility() const
{
    Document *d = m_workbook->document();
    return d ? d->sheetVisibility(m_index) : SheetVisibility::Visible;
}

UsedRange *Sheet::usedRange()
{
    return m_workbook->document() ? m_usedRange.get() : nullptr;
}

PageSetup *Sheet::pageSetup()
{
    return m_workbook->document() ? m_pageSetup.get() : nullptr;
}

} // namespace workbook
