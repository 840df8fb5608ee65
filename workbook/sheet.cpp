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

bool Sheet::SetName(const QString &name, QString *reason)
{
    QString why = QStringLiteral("the workbook is closed");
    bool ok = false;
    if (!m_workbook->guarded([&](Document &d) { ok = d.renameSheet(m_index, name, &why); }))
        ok = false;
    if (!m_workbook->failure().isEmpty())
        why = m_workbook->failure();
    if (!ok && reason)
        *reason = why;
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
