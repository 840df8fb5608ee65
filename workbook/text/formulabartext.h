#pragma once

#include "workbook/text/datetext.h"
#include "workbook/text/numberformatclassifier.h"

#include <QString>
#include <QStringView>

namespace workbook::text
{

// The text Find and Replace look at for constant cells (text cells are their own text and
// formulas are "=" and the formula; the caller handles both).
class FormulaBarText
{
public:
    static QString number(double value, NumberFormatKind kind, DateSystem system);
    static QString boolean(bool value)
    {
        return value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    }

    // #NULL!, #DIV/0!, #VALUE!, #REF!, #NAME?, #NUM!, #N/A (upper case, as stored).
    static bool isErrorConstant(QStringView text);
    // The stored form of an error constant typed in any case, or empty.
    static QString errorConstant(QStringView text);
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
