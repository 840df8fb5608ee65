#pragma once

#include "workbook/edit/stringtable.h"

#include <QString>
#include <QVector>

namespace workbook::biff
{

// The workbook's shared string table (SST) as the editing rules see it. Rich-text runs and
// phonetic blocks are not kept: an item reads as one plain run.
class BiffStringTable : public edit::StringTable
{
public:
    explicit BiffStringTable(const QVector<QString> &items) : m_items(items) {}

    int count() const override { return m_items.size(); }
    QString text(int index) const override { return m_items[index]; }
    bool formattedText(int index, edit::FormattedText *out) const override;
    void setItem(int index, const edit::FormattedText &text) override;

private:
    QVector<QString> m_items;
};

} // namespace workbook::biff
