#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace workbook::text
{

enum class DateSystem { Date1900, Date1904 };

// Date/time serial numbers as the formula bar shows them: yyyy/m/d, yyyy/m/d h:mm:ss,
// h:mm:ss. The 1900 system keeps Excel's fictitious 1900/2/29 (serial 60) so every later
// serial lands on the day Excel shows.
class DateText
{
public:
    // Serials a date can show, [0, kMaxSerial1900) and the 1904 equivalent: up to 9999/12/31.
    static constexpr double kMaxSerial1900 = 2958466.0;
    static constexpr double kMaxSerial1904 = kMaxSerial1900 - 1462.0;

    // Date format: yyyy/m/d, plus " h:mm:ss" when the serial has a time part (to the nearest
    // second). Time-only format: h:mm:ss for serials below one day; a serial with whole days
    // shows date and time, so that editing the text cannot silently drop the days.
    // Empty when the serial lies outside the dates a workbook can show (the caller then shows
    // the plain number).
    static QString format(double serial, DateSystem system, bool timeOnlyFormat);

    // Reads yyyy/m/d, yyyy/m/d h:mm[:ss] or h:mm[:ss] (hours 0-23) back into a serial; empty
    // when the text is not in one of these forms or names no real date of that system.
    static std::optional<double> parse(QStringView text, DateSystem system);
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
