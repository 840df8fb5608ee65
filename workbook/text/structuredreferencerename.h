#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace workbook::text
{

// Renames one column of a table (ListObject) in the structured references of a formula, as
// Excel does when the column's header cell is edited: Table1[Old], Table1[[#This Row],[Old]],
// Table1[[Old]:[Other]], Table1[@Old], Table1[@[Old]], and, in formulas of the table itself,
// the unqualified [Old] and [@Old]. Column names compare case-insensitively; text inside
// string literals and other tables' references are left alone.
class StructuredReferenceRename
{
public:
    // The rewritten formula, or nothing when no reference named the column. insideTable: the
    // formula belongs to the table (a cell in its range, its calculated or totals formulas),
    // so references without a table name are its own.
    static std::optional<QString> renameColumn(QStringView formula, QStringView table,
                                               QStringView oldColumn, QStringView newColumn,
                                               bool insideTable);

    // A column name as a structured reference writes it between brackets: ' before [ ] # '.
    static QString escaped(QStringView column);
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
