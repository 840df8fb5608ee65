#pragma once

#include <QByteArray>
#include <QString>

namespace workbook::biff
{

class FormulaNames;

// BIFF8 parsed formulas (reverse Polish tokens) turned into the text the formula bar shows,
// without the leading "=". Parentheses are those the tokens store; spaces and line breaks
// stored as tAttrSpace are kept where Excel shows them.
class FormulaDecompiler
{
public:
    enum class References {
        Absolute, // cell formulas: rows and columns as stored
        Relative, // shared formulas: relative parts are offsets from the cell
    };
    struct Input {
        QByteArray tokens; // rgce
        QByteArray extra;  // rgcb: array constants and the like
        int row = 0;       // the cell the text is for (0-based)
        int column = 0;
        References references = References::Absolute;
    };

    static bool decompile(const Input &input, const FormulaNames &names, QString *out,
                          QString *reason);
};

} // namespace workbook::biff
