#pragma once

#include "workbook/error.h"

#include <QString>

namespace workbook::edit
{

class FormattedText;

// The changes to the cells of one sheet. Each applies to the source's current cell and keeps
// its address and style; how the new content is stored is the backend's business.
class CellSink
{
public:
    virtual ~CellSink() = default;

    virtual void setEmpty() = 0;
    virtual void setText(const QString &text) = 0;
    // The cell's own formatted text (also a shared string the cell no longer shares).
    virtual void setFormattedText(const FormattedText &text) = 0;
    virtual void setNumber(double value) = 0;
    virtual void setBoolean(bool value) = 0;
    virtual void setError(const QString &value) = 0;
    // formula without its "="; keepArray: the cell stays the anchor of its array formula.
    virtual void setFormula(const QString &formula, bool keepArray) = 0;
    // A cell of a shared formula group whose first cell changed keeps the formula it showed.
    virtual void keepOwnFormula(const QString &formula) = 0;

    // Keeps the current cell's place so that it can still be changed once the walk has moved
    // on: an id for setFormattedTextOf, or -1 when this sink cannot.
    virtual int rememberCell() { return -1; }
    // As setFormattedText on the cell rememberCell() gave the id for.
    virtual void setFormattedTextOf(int cell, const FormattedText &text)
    {
        Q_UNUSED(cell);
        Q_UNUSED(text);
    }

    // True once the changes so far pass what the sheet may hold: the sheet cannot change, and
    // the rules stop rather than make more changes.
    virtual bool overflowed() const { return false; }
};

} // namespace workbook::edit
