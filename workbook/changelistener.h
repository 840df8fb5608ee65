#pragma once

#include "workbook/pagesetup.h"

#include <QString>

namespace workbook
{

// One thing an edit did, or would have done, to what a user sees: a cell's formula-bar text,
// a header or footer section, or a sheet's name, before and after.
struct Change {
    enum class Where { Cell, HeaderFooter, SheetName };

    Where where = Where::Cell;
    // The sheet's name when the edit was asked for (a renamed sheet: its old name).
    QString sheet;
    // A cell, 1-based.
    int row = 0;
    int column = 0;
    HeaderFooterSection section = HeaderFooterSection::CenterHeader;
    QString before;
    // What it became, or what it would have become had the rules allowed it.
    QString after;
    // Empty when the change was made; otherwise why the object was left as it was.
    QString leftBecause;
};

// Told of every change a workbook's objects make, as they make it; a change is undone only
// by closing the workbook unsaved, which the listener learns from its caller.
class ChangeListener
{
public:
    virtual ~ChangeListener() = default;
    virtual void changed(const Change &change) = 0;
};

} // namespace workbook
