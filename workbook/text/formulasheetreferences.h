#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace workbook::text
{

// Whether a changed formula still refers only to sheets that exist. A replacement that turns
// '数据 2023'!B2 into '数据 2024'!B2 would leave a reference that every reader shows as an
// error, and Excel would ask for a file to link to.
class FormulaSheetReferences
{
public:
    // The first sheet of this workbook that newFormula refers to but that is not among
    // sheetNames (any case), unless oldFormula referred to it already; empty when none.
    // References into other workbooks are not looked at.
    static QString newlyMissingSheet(QStringView oldFormula, QStringView newFormula,
                                     const QStringList &sheetNames);
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
