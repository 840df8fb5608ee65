#pragma once

#include "workbook/edit/stringtable.h"

#include <QHash>
#include <QString>

namespace workbook::biff
{

class BiffWorkbook;

// The workbook's shared string table (SST) as the editing rules see it, items decoded when
// asked for. Rich-text runs and phonetic blocks are not kept: an item reads as one plain run.
class BiffStringTable : public edit::StringTable
{
public:
    explicit BiffStringTable(const BiffWorkbook &workbook) : m_workbook(workbook) {}

    int count() const override;
    QString text(int index) const override;
    bool formattedText(int index, edit::FormattedText *out) const override;
    void setItem(int index, const edit::FormattedText &text) override;

private:
    const BiffWorkbook &m_workbook;
    QHash<int, QString> m_changed; // items set since the workbook was read
};

} // namespace workbook::biff
