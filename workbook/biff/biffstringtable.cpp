#include "workbook/biff/biffstringtable.h"

#include "workbook/edit/formattedtext.h"

namespace workbook::biff
{

bool BiffStringTable::formattedText(int index, edit::FormattedText *out) const
{
    *out = edit::FormattedText();
    if (index < 0 || index >= m_items.size())
        return false;
    out->runs().append(edit::FormattedText::Run{QByteArray(), m_items[index], false});
    return true;
}

void BiffStringTable::setItem(int index, const edit::FormattedText &text)
{
    if (index >= 0 && index < m_items.size())
        m_items[index] = text.plainText();
}

} // namespace workbook::biff
