#pragma once

#include <QString>

namespace workbook::biff
{

// Excel's built-in functions by their BIFF8 index, with the names the formula bar shows and
// the number of arguments each takes (a fixed-arity call stores no count), and the token
// classes Excel gives its result and its arguments: 'R' reference, 'V' value, 'A' array.
class FunctionTable
{
public:
    struct Function {
        quint16 index;
        const char *name;
        quint8 minArgs;
        quint8 maxArgs;
        char resultClass;
        // One class per argument; the last one stands for every argument after it.
        const char *argumentClasses;

        char argumentClass(int argument) const;
    };
    // The index that calls a function named by its first argument (add-ins, newer functions).
    static constexpr quint16 kExternalCall = 255;

    // Null for an index Excel does not define (or that only macro sheets know).
    static const Function *find(quint16 index);
    // By the name the formula bar shows, case ignored; null for a name not in the table.
    static const Function *find(const QString &name);
    // Functions whose result Excel recomputes on every calculation (their formulas start
    // with tAttrSemi).
    static bool isVolatile(quint16 index);
};

} // namespace workbook::biff
