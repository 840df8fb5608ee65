#include "workbook/biff/biffstringtable.h"

#include "workbook/biff/biffworkbook.h"
#include "workbook/edit/formattedtext.h"

namespace workbook::biff
{

int BiffStringTable::count() const
{
    return m_workbook.sharedStringCount();
}

QString BiffStringTable::text(int index) const
{
    const auto it = m_changed.constFind(index);
    return it != m_changed.constEnd() ? it.value() : m_workbook.sharedString(index);
}

bool BiffStringTable::formattedText(int index, edit::FormattedText *out) const
{
    *out = edit::FormattedText();
    if (index < 0 || index >= count())
        return false;
    out->runs().append(edit::FormattedText::Run{QByteArray(), text(index), false});
    return true;
}

void BiffStringTable::setItem(int index, const edit::FormattedText &text)
{
    if (index >= 0 && index < count())
        m_changed.insert(index, text.plainText());
}

} // namespace workbook::biff
