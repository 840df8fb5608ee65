#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace workbook::ooxml
{

// Renames a table column in the structured references of one part's formulas: cell formulas,
// a table's calculated-column and totals formulas, defined names, data validation and
// conditional formatting formulas.
class StructuredReferenceRewriter
{
public:
    // insideTable(row, column) says whether a cell formula belongs to the table (references
    // without a table name are then its own); wholePartInside for the table's own part.
    static bool rewrite(const QByteArray &xml, const QString &table, const QString &oldColumn,
                        const QString &newColumn, bool wholePartInside,
                        const std::function<bool(int row, int column)> &insideTable,
                        QByteArray *out, bool *changed, QString *reason);
};

} // namespace workbook::ooxml
