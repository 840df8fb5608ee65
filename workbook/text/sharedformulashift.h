#pragma once

#include <QString>
#include <QStringView>

namespace workbook::text
{

// A shared formula is stored once, for the first cell of its range; every other cell's own
// text is that formula with its relative references moved by the cell's offset. $-anchored
// parts stay; a reference pushed off the grid becomes #REF!.
class SharedFormulaShift
{
public:
    static constexpr int kMaxRow = 1048576;
    static constexpr int kMaxColumn = 16384;

    static QString shift(QStringView formula, int rows, int columns);

    // "B3" -> row 3, column 2 (1-based); false unless a plain cell reference inside the grid.
    static bool parseCell(QStringView ref, int *row, int *column);
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
