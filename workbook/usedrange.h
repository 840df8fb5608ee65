#pragma once

#include "workbook/error.h"

#include <QString>
#include <QStringList>

namespace workbook
{

class Workbook;

// The cells of one sheet, searched and changed as Excel's Find and Replace do with their
// default options (part of the content, case ignored, wildcards, formulas looked in).
class UsedRange
{
public:
    UsedRange(Workbook *workbook, int sheetIndex);

    // Whether any cell's formula-bar text matches. An empty text matches nothing. Three
    // outcomes: true (a hit), false (a miss), false with *error set (the sheet could not be
    // read).
    bool Find(const QString &what, Error *error = nullptr);
    // Replaces every match in every cell, as if Replace were applied to each cell one by
    // one. Returns true when at least one cell changed; false with *error set when the sheet
    // could not be read or the change not be stored (the sheet then stays as it was).
    bool Replace(const QString &what, const QString &with, Error *error = nullptr);

    // The pairs in order, exactly as Find and then Replace of each pair would do them, each
    // search seeing the earlier replacements: Find is asked only until one hits (which sets
    // *found), and with justShow nothing is replaced. One pass over the cells rules out the
    // pairs that cannot match, and it is repeated after each pair that changed a cell, so
    // many pairs cost what matches. False with *error set at the first pair whose Find or
    // Replace failed; the pairs after it are not tried.
    bool ReplacePairs(const QStringList &what, const QStringList &with, bool justShow, bool *found,
                      Error *error = nullptr);

    // Why the last Find or Replace could not look at the sheet (unset when it could).
    Error lastError() const { return m_lastError; }

private:
    Workbook *m_workbook;
    int m_sheetIndex;
    Error m_lastError;
    // The last text Find saw nowhere, and the document's change count then.
    QString m_missed;
    quint64 m_missedAt = 0;
    bool m_hasMiss = false;
};

} // namespace workbook
