#pragma once

#include <QtGlobal>

namespace workbook::biff
{

// Excel's built-in functions by their BIFF8 index, with the names the formula bar shows and
// the number of arguments each takes (a fixed-arity call stores no count).
class FunctionTable
{
public:
    struct Function {
        quint16 index;
        const char *name;
        quint8 minArgs;
        quint8 maxArgs;
    };
    // The index that calls a function named by its first argument (add-ins, newer functions).
    static constexpr quint16 kExternalCall = 255;

    // Null for an index Excel does not define (or that only macro sheets know).
    static const Function *find(quint16 index);
};

} // namespace workbook::biff
