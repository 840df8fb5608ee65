#pragma once

#include <QByteArray>
#include <QString>

namespace workbook::biff
{

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
    // parts). False with *reason when it does not compile to what Excel would store.
    static bool compile(const QString &text, const FormulaReferences &references, Output *out,
                        QString *reason);
};

} // namespace workbook::biff
