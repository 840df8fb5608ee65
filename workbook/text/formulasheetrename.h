#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace workbook::text
{

// Rewrites every reference to one sheet of this workbook in a formula, as a sheet rename in
// Excel does. Works on cell formulas (with or without "="), defined names, chart, data
// validation and conditional formatting formulas, and hyperlink locations (Sheet1!A1).
// Sheet names compare case-insensitively; string literals and references into other
// workbooks are left alone; the new name is quoted where a formula needs it.
class FormulaSheetRename
{
public:
    // The rewritten formula, or empty when nothing referred to oldName.
    static std::optional<QString> rename(QStringView formula, QStringView oldName,
                                         QStringView newName);

    // Whether a sheet name must be written as 'name' in a formula.
    static bool needsQuotes(QStringView sheetName);
    // The sheet part of a reference as a formula needs it, without the "!": Name, 'Q1 2024',
    // 'It''s'; for a 3-D range pass lastSheet ('First:Last' quoted as a whole when needed).
    static QString quoted(QStringView sheetName, QStringView lastSheet = {});
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
