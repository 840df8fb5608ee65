#pragma once

#include <QStringView>
#include <QVector>

namespace workbook::text
{

// Splits formula text (with or without its leading "=") into tokens that keep every character:
// concatenating the tokens gives the input back. It knows what a rewrite must not touch
// (string literals, structured-reference brackets, error literals) and where sheet names and
// cell references are. It never fails: malformed input ends in an Unterminated token.
struct FormulaToken {
    enum class Type {
        Other,        // operators, spaces, parentheses, commas, numbers, names, functions
        String,       // "..." with "" inside, quotes included
        Error,        // #REF!, #N/A ...
        SheetPrefix,  // 'It''s'!  Sheet1!  Sheet1:Sheet3!  [1]Sheet1!  '[1]Sheet 1'!  [1]!
        CellRef,      // A1, $A$1, A1:B2, A:A, $1:$3 (the part after any SheetPrefix)
        Bracket,      // Table1[...] part, kept verbatim
        Unterminated, // an open string, quoted name or bracket up to the end
    };
    Type type = Type::Other;
    qsizetype start = 0;
    qsizetype length = 0;

    // SheetPrefix only: the sheet names as written (quotes removed, '' made '), and whether
    // the prefix names another workbook ([1]..., [Book.xlsx]..., a path).
    QString firstSheet;
    QString lastSheet; // empty unless 3-D
    bool external = false;
    bool quoted = false;
};

class FormulaTokenizer
{
public:
    static QVector<FormulaToken> tokenize(QStringView formula);
};

} // namespace workbook::text

Q_DECLARE_TYPEINFO(workbook::text::FormulaToken, Q_MOVABLE_TYPE);

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
