#pragma once

#include <QStringView>

namespace workbook::text
{

// How the formula bar shows a number, decided by the cell's number format.
enum class NumberFormatKind {
    General,  // plain number (General, 0.00, #,##0, currency, scientific, text @ ...)
    Percent,  // value x 100 and "%"
    Date,     // a date, with the time when the value has one
    TimeOnly, // h:mm:ss
};

class NumberFormatClassifier
{
public:
    // numFmtId as in the cell's xf; formatCode from <numFmt formatCode=...> when the styles
    // part defines that id (custom formats and overridden built-ins), else empty. Built-in ids
    // without a code are classified by their Excel meaning, the East Asian ids 27-36 and
    // 50-58 included.
    static NumberFormatKind classify(int numFmtId, QStringView formatCode);
    static NumberFormatKind classifyCode(QStringView formatCode);
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
