#pragma once

#include "workbook/text/numberformatclassifier.h"

#include <QString>
#include <QVector>

namespace workbook::edit
{

class FormattedText;

// A workbook's shared string table. An item changed in place keeps its index, so every cell
// using it follows; the rules change one in place only when every use changes alike.
class StringTable
{
public:
    virtual ~StringTable() = default;

    virtual int count() const = 0;
    virtual QString text(int index) const = 0;
    virtual bool formattedText(int index, FormattedText *out) const = 0;
    virtual void setItem(int index, const FormattedText &text) = 0;
    // As CellSource::storedExactly(), for one item.
    virtual bool storedExactly(int index) const
    {
        Q_UNUSED(index);
        return true;
    }

    // How many cells of the workbook use each item: counted on first need, then kept up to
    // date by every change.
    QVector<int> &useCounts() { return m_useCounts; }
    bool hasUseCounts() const { return m_haveUseCounts; }
    void setHasUseCounts() { m_haveUseCounts = true; }
    // Forgets them, to be counted again (after changes the storage did not keep).
    void clearUseCounts()
    {
        m_useCounts.clear();
        m_haveUseCounts = false;
    }

private:
    QVector<int> m_useCounts;
    bool m_haveUseCounts = false;
};

// What the rules need of a cell's style.
class StyleFacts
{
public:
    virtual ~StyleFacts() = default;
    virtual NumberFormatKind kind(int style) const = 0;
    virtual bool locked(int style) const = 0;
};

} // namespace workbook::edit
