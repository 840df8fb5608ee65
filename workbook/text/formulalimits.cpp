#include "workbook/text/formulalimits.h"

#include "workbook/text/formulatokenizer.h"

#include <vector>

namespace workbook::text
{

namespace
{

// Letters and digits of any script, and the few ASCII signs names and references hold. Other
// characters (typographic quotes, full-width brackets, symbols) belong to no token.
bool isNameCharacter(QChar c)
{
    if (c.unicode() >= 0x80)
        return c.isLetterOrNumber() || c.isMark() || c.isSurrogate();
    return c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'\\' || c == u'$' || c == u'?' ||
           c == u'!' || c == u'#' || c == u'[' || c == u']' || c == u'\'';
}

bool isOperatorCharacter(QChar c)
{
    static const QLatin1String kOperators("*/^&=<>:");
    return kOperators.contains(c);
}

// Whether the formula is one complete expression, judged only where it certainly is not:
// anything this does not know (names, references, functions) counts as an operand.
bool isComplete(QStringView formula, const QVector<FormulaToken> &tokens, bool *unknownCharacter)
{
    enum class Frame { Group, Function, Array };
    std::vector<Frame> frames;
    bool expectOperand = true;
    bool afterOpenOrComma = false; // an argument may be empty right after "(" or ","
    bool afterName = false;        // so "(" opens an argument list (names like LOG10 too)
    for (const FormulaToken &t : tokens) {
        if (t.type == FormulaToken::Type::SheetPrefix) {
            continue; // the reference or name it prefixes follows
        }
        if (t.type != FormulaToken::Type::Other) {
            expectOperand = false;
            afterOpenOrComma = false;
            afterName = t.type == FormulaToken::Type::CellRef;
            continue;
        }
        const QStringView text = formula.mid(t.start, t.length);
        for (qsizetype i = 0; i < text.size();) {
            const QChar c = text[i];
            if (c == u' ' || c == u'\n' || c == u'\r') {
                ++i; // white space, or the intersection of what stands either side
                continue;
            }
            const bool emptyArgument =
                afterOpenOrComma && !frames.empty() && frames.back() == Frame::Function;
            const bool call = afterName;
            afterOpenOrComma = false;
            afterName = false;
            if (isNameCharacter(c)) {
                while (i < text.size() && isNameCharacter(text[i])) {
                    ++i;
                }
                expectOperand = false;
                afterName = true;
                continue;
            }
            ++i;
            switch (c.unicode()) {
            case u'(':
                frames.push_back(call ? Frame::Function : Frame::Group);
                expectOperand = true;
                afterOpenOrComma = true;
                break;
            case u'{':
                frames.push_back(Frame::Array);
                expectOperand = true;
                break;
            case u')':
            case u'}':
                if (frames.empty() || (expectOperand && !emptyArgument)) {
                    return false;
                }
                frames.pop_back();
                expectOperand = false;
                break;
            case u',':
            case u';':
                if (expectOperand && !emptyArgument) {
                    return false;
                }
                expectOperand = true;
                afterOpenOrComma = true;
                break;
            case u'+':
            case u'-':
            case u'@':
                expectOperand = true; // a sign, or (after an operand) an operator
                break;
            case u'%':
                if (expectOperand) {
                    return false;
                }
                break;
            default: // * / ^ & = < > <= >= <> : between two operands
                if (!isOperatorCharacter(c)) {
                    *unknownCharacter = true;
                    return false;
                }
                if (expectOperand) {
                    return false;
                }
                if ((c == u'<' || c == u'>') && i < text.size() &&
                    (text[i] == u'=' || (c == u'<' && text[i] == u'>'))) {
                    ++i;
                }
                expectOperand = true;
                break;
            }
        }
    }
    return !expectOperand;
}

} // namespace

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
    const QVector<FormulaToken> tokens = FormulaTokenizer::tokenize(formula);
    for (const FormulaToken &t : tokens) {
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
    if (parentheses != 0 || braces != 0) {
        return Verdict::UnbalancedParentheses;
    }
    bool unknownCharacter = false;
    if (isComplete(formula, tokens, &unknownCharacter))
        return Verdict::Ok;
    return unknownCharacter ? Verdict::UnknownCharacter : Verdict::Incomplete;
}

} // namespace workbook::text
