#pragma once

#include "workbook/error.h"

#include <QByteArray>
#include <QString>

namespace workbook::edit
{

class FormattedText;

// A block of cells, both corners included (1-based).
struct CellArea {
    int top = 0, left = 0, bottom = 0, right = 0;
    bool contains(int r, int c) const { return r >= top && r <= bottom && c >= left && c <= right; }
};

// One stored cell as its backend presents it, before its value is decoded.
struct SourceCell {
    enum class Type : quint8 {
        Number,
        SharedString,
        InlineString,
        FormulaString, // the text result of a formula, stored with the cell
        Boolean,
        Error,
        Other // a type the rules leave alone (an ISO date cell)
    };
    enum class Formula : quint8 { None, Normal, Shared, Array, DataTable };

    int row = 0; // 1-based
    int column = 0;
    int style = 0;
    Type type = Type::Other;
    bool hasValue = false;
    Formula formula = Formula::None;
    QString formulaText;   // decoded; empty for a shared formula's other cells
    bool refGiven = false; // the formula names an area (a shared group's first cell, an array)
    bool areaValid = false;
    CellArea area;
    QByteArray shareGroup; // the group of a shared formula

    bool isPlainNumber() const
    {
        return formula == Formula::None && hasValue && type == Type::Number;
    }
    // Back to a cell as constructed, in place: a walk clears one for every cell of a sheet,
    // and assigning a new one costs several times as much.
    void clear()
    {
        row = column = style = 0;
        type = Type::Other;
        hasValue = false;
        formula = Formula::None;
        if (!formulaText.isNull())
            formulaText = QString();
        refGiven = areaValid = false;
        area = CellArea();
        if (!shareGroup.isNull())
            shareGroup = QByteArray();
    }
};

// The cells of one sheet in row order, decoded lazily: the value accessors read the current
// cell (the one the last next() returned) and cost nothing until called.
class CellSource
{
public:
    virtual ~CellSource() = default;

    // False at the end of the cells or when they cannot be read (then failed()).
    virtual bool next(SourceCell *cell) = 0;
    virtual bool failed() const = 0;
    virtual Error error() const = 0;
    // Back to before the first cell.
    virtual void restart() = 0;

    virtual bool number(double *out) const = 0;
    // The shared string the cell uses, or -1.
    virtual int sharedString() const = 0;
    // A formula's stored text result, or an error value.
    virtual bool text(QString *out) const = 0;
    virtual bool inlineText(FormattedText *out) const = 0;
    // False when writing the current cell's text back in its format would change characters
    // that a replacement did not touch (an odd spelling the format allows but does not keep).
    virtual bool storedExactly() const { return true; }
    // When not wanted, next() may leave out the cells that are plain numbers (a search whose
    // text no number can show), checking them as it would have: the walk fails or ends
    // alike. Wanted again on restart().
    virtual void setPlainNumbersWanted(bool wanted) { (void)wanted; }
};

} // namespace workbook::edit
