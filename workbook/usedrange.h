#pragma once

#include <QString>

namespace workbook
{

class Workbook;

// The cells of one sheet, searched and changed as Excel's Find and Replace do with their
// default options (part of the content, case ignored, wildcards, formulas looked in).
class UsedRange
{
public:
    UsedRange(Workbook *workbook, int sheetIndex);

    // Whether any cell's formula-bar text matches. An empty text matches nothing.
    bool Find(const QString &what);
    // Replaces every match in every cell, as if Replace were applied to each cell one by
    // one. Returns true when at least one cell changed.
    bool Replace(const QString &what, const QString &with);

    // Why the last Find or Replace could not look at the sheet (empty when it could).
    QString lastError() const { return m_lastError; }

private:
    Workbook *m_workbook;
    int m_sheetIndex;
    QString m_lastError;
};

} // namespace workbook
