#pragma once

#include "workbook/text/datetext.h"
#include "workbook/text/numberformatclassifier.h"

#include <QString>
#include <QStringView>

namespace workbook::text
{

// What a replacement makes of a cell: given what the cell was and its new formula-bar text,
// the type and value the cell gets. Used only for cells whose text really changed, so an
// untouched cell keeps its exact stored value.
class CellTyping
{
public:
    enum class Was { Text, Number, Boolean, Error, Formula };
    enum class Becomes {
        Unchanged, // leave the cell exactly as it was (new content would break a limit)
        Empty,     // no value; the cell keeps its style
        Text,      // text
        Number,    // number (the cell keeps its format, so percent and dates still apply)
        Boolean,   // boolean
        Error,     // text holds the stored error constant
        Formula,   // text holds the formula without its "=", cached value dropped
    };
    struct Result {
        Becomes becomes = Becomes::Unchanged;
        QString text;
        double number = 0;
        bool boolean = false;
    };

    static constexpr int kMaxTextLength = 32767;

    // newText is the whole new formula-bar text ("=..." for a formula). kind and system only
    // matter when `was` is Number.
    static Result retype(Was was, QStringView newText,
                         NumberFormatKind kind = NumberFormatKind::General,
                         DateSystem system = DateSystem::Date1900);
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
