#pragma once

#include <QString>

namespace workbook::biff
{

// What a formula's tokens refer to outside the formula: sheets through the EXTERNSHEET
// table, defined names, names in other workbooks and add-ins.
class FormulaNames
{
public:
    virtual ~FormulaNames() = default;
    // The sheet part of a 3-D reference with its "!" ("Sheet1!", "'Q1 2024'!",
    // "Sheet1:Sheet3!", "[1]Sheet1!"), "#REF!" for a deleted sheet; false when ixti is not in
    // the table.
    virtual bool sheetPrefix(int ixti, QString *out) const = 0;
    // Defined names are 1-based, as tokens store them; false when there is no such name.
    virtual bool definedName(int index, QString *out) const = 0;
    virtual bool externalName(int ixti, int index, QString *out) const = 0;
};

} // namespace workbook::biff
