#pragma once

#include <QString>
#include <QStringView>

namespace workbook::text
{

// Whether a formula's references fit a sheet's grid. Every format has its own (an .xls sheet
// ends at row 65,536 and column IV); a formula that refers beyond it cannot be stored, and a
// reader of that format would take the reference for a name.
class FormulaGrid
{
public:
    // The first cell, column or row reference of formula (with or without its "=") that lies
    // beyond rows x columns, as written (A1, $B$2:C3, IW:IW, 70000:70001); empty when none.
    static QString referenceBeyond(QStringView formula, int rows, int columns);
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
