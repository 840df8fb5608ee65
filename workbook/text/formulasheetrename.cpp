#include "workbook/text/formulasheetrename.h"

#include "workbook/text/casefolding.h"
#include "workbook/text/formulatokenizer.h"

namespace workbook::text
{

namespace
{

bool isAsciiLetter(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// ABC123-like: a formula could read it as a cell reference.
bool looksLikeA1(QStringView s)
{
    qsizetype i = 0;
    while (i < s.size() && isAsciiLetter(s[i])) {
        ++i;
    }
    if (i == 0 || i > 3 || i == s.size()) {
        return false;
    }
    while (i < s.size() && isAsciiDigit(s[i])) {
        ++i;
    }
    return i == s.size();
}

// R, C, RC, R1, C1, R1C1: readable as an R1C1 reference.
bool looksLikeR1C1(QStringView s)
{
    qsizetype i = 0;
    auto digits = [&] {
        while (i < s.size() && isAsciiDigit(s[i])) {
            ++i;
        }
    };
    if (i < s.size() && (s[i] == u'R' || s[i] == u'r')) {
        ++i;
        digits();
    }
    if (i < s.size() && (s[i] == u'C' || s[i] == u'c')) {
        ++i;
        digits();
    }
    return i > 0 && i == s.size();
}

QString escaped(QStringView name)
{
    QString out = name.toString();
    out.replace(QLatin1Char('\''), QLatin1String("''"));
    return out;
}

} // namespace

bool FormulaSheetRename::needsQuotes(QStringView name)
{
    if (name.isEmpty() || isAsciiDigit(name[0]) || name[0] == u'.') {
        return true;
    }
    for (QChar c : name) {
        const bool plain = c.unicode() < 0x80
                               ? (isAsciiLetter(c) || isAsciiDigit(c) || c == u'_' || c == u'.')
                               : (c.isLetterOrNumber() || c.isSurrogate());
        if (!plain) {
            return true;
        }
    }
    return looksLikeA1(name) || looksLikeR1C1(name) ||
           name.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("FALSE"), Qt::CaseInsensitive) == 0;
}

QString FormulaSheetRename::quoted(QStringView sheetName, QStringView lastSheet)
{
    if (lastSheet.isEmpty()) {
        return needsQuotes(sheetName) ? QLatin1Char('\'') + escaped(sheetName) + QLatin1Char('\'')
                                      : sheetName.toString();
    }
    if (needsQuotes(sheetName) || needsQuotes(lastSheet)) {
        return QLatin1Char('\'') + escaped(sheetName) + QLatin1Char(':') + escaped(lastSheet) +
               QLatin1Char('\'');
    }
    return sheetName.toString() + QLatin1Char(':') + lastSheet.toString();
}

std::optional<QString> FormulaSheetRename::rename(QStringView formula, QStringView oldName,
                                                  QStringView newName)
{
    // Most formulas name no sheet at all: skip them without tokenizing.
    if (formula.indexOf(u'!') < 0 || oldName.isEmpty()) {
        return std::nullopt;
    }
    const QVector<FormulaToken> tokens = FormulaTokenizer::tokenize(formula);
    QString out;
    qsizetype copied = 0;
    bool changed = false;
    for (const FormulaToken &t : tokens) {
        if (t.type != FormulaToken::Type::SheetPrefix || t.external) {
            continue;
        }
        const bool firstHit = CaseFolding::equal(t.firstSheet, oldName);
        const bool lastHit = !t.lastSheet.isEmpty() && CaseFolding::equal(t.lastSheet, oldName);
        if (!firstHit && !lastHit) {
            continue;
        }
        if (!changed) {
            out.reserve(formula.size() + newName.size() + 8);
            changed = true;
        }
        out.append(formula.mid(copied, t.start - copied));
        const QStringView first = firstHit ? newName : QStringView(t.firstSheet);
        const QStringView last = lastHit ? newName : QStringView(t.lastSheet);
        out.append(quoted(first, last));
        out.append(QLatin1Char('!'));
        copied = t.start + t.length;
    }
    if (!changed) {
        return std::nullopt;
    }
    out.append(formula.mid(copied));
    return out;
}

} // namespace workbook::text
