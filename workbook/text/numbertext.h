#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace workbook::text
{

// Numbers as the formula bar shows them and as typed text reads back.
class NumberText
{
public:
    // Enough for any output of write(), terminator included.
    static constexpr int kBufferSize = 40;

    // Up to 15 significant digits, no trailing zeros, plain decimal for 1E-9 <= |x| < 1E15,
    // otherwise like 1.23456789012346E+18. A value that a workbook cannot hold (NaN, infinity)
    // shows as #NUM!. Writes ASCII and a terminator into out; returns the length.
    static int write(double value, char *out);
    static QString format(double value);

    // Reads [+-]digits[.digits][E[+-]digits] (also ".5" and "5."); no spaces, no thousands
    // separators, nothing after it. Empty when the text is not such a number or not finite.
    static std::optional<double> parse(QStringView text);
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
