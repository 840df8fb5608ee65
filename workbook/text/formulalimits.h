#pragma once

#include <QStringView>

namespace workbook::text
{

// The checks a formula typed into a cell must pass before the cell takes it.
class FormulaLimits
{
public:
    static constexpr int kMaxFormulaLength = 8192;

    // Incomplete: an operator without its operand, an empty group or array, or a separator
    // where an operand is due ("1+", "(*2)", "()", "{1,}"); Excel refuses such a formula when
    // it is typed and repairs the file when one is stored.
    // UnknownCharacter: a character outside strings and quoted names that belongs to no token
    // of Excel's grammar (=“合计“&B1, with typographic quotes).
    enum class Verdict {
        Ok,
        TooLong,
        UnbalancedParentheses,
        UnterminatedQuote,
        Empty,
        Incomplete,
        UnknownCharacter
    };

    // formula is the text after "=" (a leading "=" is tolerated and not counted).
    static Verdict check(QStringView formula);
    static bool isAcceptable(QStringView formula) { return check(formula) == Verdict::Ok; }
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
