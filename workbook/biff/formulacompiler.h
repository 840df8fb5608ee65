#pragma once

#include <QByteArray>
#include <QString>

namespace workbook::cfb
{
class ByteCursor;
} // namespace workbook::cfb

namespace workbook::biff
{

class FormulaNames;
class FormulaReferences;

// Formula text, as the formula bar shows it, compiled to BIFF8 parsed tokens: the inverse of
// FormulaDecompiler.
class FormulaCompiler
{
public:
    struct Output {
        QByteArray tokens; // rgce
        QByteArray extra;  // rgcb
    };

    // text: a cell formula without its "=" (rows and columns as shown, $ marking the absolute
    // parts; one leading "=" is passed over). False with *reason when it does not compile to
    // what Excel would store: a syntax error, an unknown function or name, a sheet without an
    // EXTERNSHEET entry for it (none is added), a string over 255 characters, a wrong
    // argument count. The output is left alone then. This overload compiles a cell formula
    // that sees the workbook's names only; the one with Options says where the formula is.
    static bool compile(const QString &text, const FormulaReferences &references, Output *out,
                        QString *reason);

    // Where the formula is stored decides the class of its result and which defined names
    // it sees.
    enum class Kind {
        Cell,  // FORMULA: a value
        Array, // ARRAY: an array
        Name,  // NAME: a reference
    };
    struct Options {
        Kind kind = Kind::Cell;
        int sheet = -1; // the formula's sheet (BOUNDSHEET8 index), for sheet-level names
    };
    static bool compile(const QString &text, const FormulaReferences &references,
                        const Options &options, Output *out, QString *reason);

    // A stored formula as a caller found it.
    struct Stored {
        QByteArray tokens;
        QByteArray extra;
        int row = 0; // the cell it belongs to (0-based)
        int column = 0;
        bool shared = false; // SHRFMLA: relative references stored as offsets from the cell
        Options options;
    };
    // Whether compiling the stored formula's own text gives its tokens back (sameTokens), so
    // that a cell may be rewritten from text without changing what it means: a caller checks
    // this for the formula it found before it stores a compiled replacement. Shared formulas
    // (pass the SHRFMLA tokens and the cell's own row and column) compare as the cell formula
    // they stand for there. False with *reason otherwise.
    static bool roundTrips(const Stored &stored, const FormulaNames &names,
                           const FormulaReferences &references, QString *reason);
    // Whether compiled tokens mean what stored ones do, byte for byte but for the bytes Excel
    // leaves unused and the choice between equal EXTERNSHEET entries.
    static bool sameTokens(const QByteArray &compiled, const QByteArray &stored,
                           const FormulaNames &names);
    // Moves c past the rest of a token whose first byte was ptg; false for a token that cannot
    // be walked (or is cut short).
    static bool skipToken(quint8 ptg, cfb::ByteCursor *c);
    // A shared formula's tokens as the cell formula they stand for at (row, column): tRefN and
    // tAreaN become tRef and tArea, relative offsets become rows and columns. False for tokens
    // that cannot be walked.
    static bool sharedAsCell(const QByteArray &tokens, int row, int column, QByteArray *out);
};

} // namespace workbook::biff
