#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace workbook::text
{

// Excel's rules for a sheet's tab name.
class SheetNameRules
{
public:
    static constexpr int kMaxLength = 31;

    enum class Verdict {
        Ok,
        Empty,
        TooLong,            // over 31 UTF-16 units
        ForbiddenCharacter, // one of : \ / ? * [ ]
        ControlCharacter,   // cannot be stored in the workbook's XML
        QuoteAtEnd,         // starts or ends with '
        Reserved,           // History, any case
        Duplicate,          // another sheet has this name, any case
    };

    // existing: every sheet name of the workbook in order; ownIndex: the renamed sheet's index
    // in it (its own name, in any case, is allowed), or -1 for a new sheet.
    static Verdict check(QStringView name, const QStringList &existing, int ownIndex);
    static Verdict checkName(QStringView name); // the rules that need no other names
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
