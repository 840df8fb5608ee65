#pragma once

#include <QStringView>

// The checks a formula typed into a cell must pass before the cell takes it.
class FormulaLimits
{
public:
    static constexpr int kMaxFormulaLength = 8192;

    enum class Verdict { Ok, TooLong, UnbalancedParentheses, UnterminatedQuote, Empty };

    // formula is the text after "=" (a leading "=" is tolerated and not counted).
    static Verdict check(QStringView formula);
    static bool isAcceptable(QStringView formula) { return check(formula) == Verdict::Ok; }
};
