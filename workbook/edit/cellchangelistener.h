#pragma once

#include <QString>

namespace workbook::edit
{

// Told of each cell a replacement changes, and of each matching cell the rules leave alone,
// by the formula-bar text before and after.
class CellChangeListener
{
public:
    virtual ~CellChangeListener() = default;
    virtual void cellChanged(int row, int column, const QString &before, const QString &after) = 0;
    // after: what the cell would have shown.
    virtual void cellLeft(int row, int column, const QString &before, const QString &after,
                          const QString &reason) = 0;
};

} // namespace workbook::edit
