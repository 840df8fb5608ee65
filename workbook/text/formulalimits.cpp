#include "workbook/text/formulalimits.h"

#include "workbook/text/formulatokenizer.h"

FormulaLimits::Verdict FormulaLimits::check(QStringView formula)
{
    if (formula.startsWith(u'=')) {
        formula = formula.mid(1);
    }
    if (formula.trimmed().isEmpty()) {
        return Verdict::Empty;
    }
    if (formula.size() > kMaxFormulaLength) {
        return Verdict::TooLong;
    }
    int parentheses = 0;
    int braces = 0;
    for (const FormulaToken &t : FormulaTokenizer::tokenize(formula)) {
        if (t.type == FormulaToken::Type::Unterminated) {
            return Verdict::UnterminatedQuote;
        }
        if (t.type != FormulaToken::Type::Other) {
            continue;
        }
        for (QChar c : formula.mid(t.start, t.length)) {
            if (c == u'(') {
                ++parentheses;
            } else if (c == u')' && --parentheses < 0) {
                return Verdict::UnbalancedParentheses;
            } else if (c == u'{') {
                ++braces;
            } else if (c == u'}' && --braces < 0) {
                return Verdict::UnbalancedParentheses;
            }
        }
    }
    return parentheses == 0 && braces == 0 ? Verdict::Ok : Verdict::UnbalancedParentheses;
}
