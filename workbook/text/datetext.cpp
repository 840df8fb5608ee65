#include "workbook/text/datetext.h"

#include <cmath>

namespace workbook::text
{

namespace
{

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
long long daysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, int *y, int *m, int *d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = int(doy - (153 * mp + 2) / 5 + 1);
    *m = int(mp < 10 ? mp + 3 : mp - 9);
    *y = int(yoe + era * 400 + (*m <= 2));
}

bool isLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

const long long kEpoch1900 = daysFromCivil(1899, 12, 31); // serial 1 is 1900/1/1
const long long kEpoch1904 = daysFromCivil(1904, 1, 1);   // serial 0 is 1904/1/1

// Decimal digits of v (non-negative) at out; returns the new end.
char *putNumber(char *out, long long v)
{
    char reversed[20];
    int n = 0;
    do {
        reversed[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0) {
        *out++ = reversed[--n];
    }
    return out;
}

char *putTwoDigits(char *out, int v)
{
    *out++ = char('0' + v / 10);
    *out++ = char('0' + v % 10);
    return out;
}

char *putTime(char *out, long long seconds)
{
    out = putNumber(out, seconds / 3600);
    *out++ = ':';
    out = putTwoDigits(out, int(seconds / 60 % 60));
    *out++ = ':';
    return putTwoDigits(out, int(seconds % 60));
}

// Reads 1..maxDigits decimal digits at i.
bool readNumber(QStringView t, qsizetype &i, int maxDigits, int *value)
{
    int v = 0;
    int digits = 0;
    while (i < t.size() && t[i] >= u'0' && t[i] <= u'9' && digits < maxDigits) {
        v = v * 10 + (t[i].unicode() - '0');
        ++i;
        ++digits;
    }
    *value = v;
    return digits > 0 && (i >= t.size() || t[i] < u'0' || t[i] > u'9');
}

bool readTime(QStringView t, qsizetype &i, long long *seconds)
{
    int h = 0;
    int m = 0;
    int s = 0;
    if (!readNumber(t, i, 2, &h) || i >= t.size() || t[i] != u':') {
        return false;
    }
    ++i;
    if (!readNumber(t, i, 2, &m)) {
        return false;
    }
    if (i < t.size() && t[i] == u':') {
        ++i;
        if (!readNumber(t, i, 2, &s)) {
            return false;
        }
    }
    if (h > 23 || m > 59 || s > 59) {
        return false;
    }
    *seconds = h * 3600LL + m * 60LL + s;
    return true;
}

} // namespace

QString DateText::format(double serial, DateSystem system, bool timeOnlyFormat)
{
    const double maxSerial = system == DateSystem::Date1900 ? kMaxSerial1900 : kMaxSerial1904;
    if (!std::isfinite(serial) || serial < 0 || serial >= maxSerial) {
        return {};
    }
    const long long total = std::llround(serial * 86400.0);
    const long long days = total / 86400;
    const long long seconds = total % 86400;
    if (days >= static_cast<long long>(maxSerial)) { // rounded up into year 10000
        return {};
    }
    // Built in a byte buffer: one allocation per text, since a sheet may hold many dates.
    char buffer[32];
    char *out = buffer;
    if (!(timeOnlyFormat && days == 0)) {
        int y = 0;
        int m = 0;
        int d = 0;
        if (system == DateSystem::Date1904) {
            civilFromDays(kEpoch1904 + days, &y, &m, &d);
        } else if (days == 0) {
            y = 1900, m = 1, d = 0; // Excel shows serial 0 as the day before 1900/1/1
        } else if (days == 60) {
            y = 1900, m = 2, d = 29; // the day Excel believes in
        } else {
            civilFromDays(kEpoch1900 + days - (days > 60 ? 1 : 0), &y, &m, &d);
        }
        out = putNumber(out, y);
        *out++ = '/';
        out = putNumber(out, m);
        *out++ = '/';
        out = putNumber(out, d);
        if (seconds == 0 && !timeOnlyFormat) {
            return QString::fromLatin1(buffer, int(out - buffer));
        }
        *out++ = ' ';
    }
    out = putTime(out, seconds);
    return QString::fromLatin1(buffer, int(out - buffer));
}

std::optional<double> DateText::parse(QStringView text, DateSystem system)
{
    qsizetype i = 0;
    long long seconds = 0;
    // Time only: h:mm[:ss].
    {
        qsizetype j = 0;
        if (readTime(text, j, &seconds) && j == text.size()) {
            return double(seconds) / 86400.0;
        }
    }
    int y = 0;
    int m = 0;
    int d = 0;
    if (!readNumber(text, i, 4, &y) || i != 4 || i >= text.size() || text[i] != u'/') {
        return std::nullopt;
    }
    ++i;
    if (!readNumber(text, i, 2, &m) || i >= text.size() || text[i] != u'/') {
        return std::nullopt;
    }
    ++i;
    if (!readNumber(text, i, 2, &d)) {
        return std::nullopt;
    }
    if (i < text.size()) {
        if (text[i] != u' ') {
            return std::nullopt;
        }
        ++i;
        if (!readTime(text, i, &seconds) || i != text.size()) {
            return std::nullopt;
        }
    }
    if (m < 1 || m > 12) {
        return std::nullopt;
    }
    long long serial = 0;
    if (system == DateSystem::Date1900) {
        if (y == 1900 && m == 1 && d == 0) {
            serial = 0;
        } else if (y == 1900 && m == 2 && d == 29) {
            serial = 60;
        } else {
            if (y < 1900 || d < 1 || d > daysInMonth(y, m)) {
                return std::nullopt;
            }
            serial = daysFromCivil(y, unsigned(m), unsigned(d)) - kEpoch1900;
            if (serial >= 60) {
                ++serial;
            }
        }
    } else {
        if (y < 1904 || d < 1 || d > daysInMonth(y, m)) {
            return std::nullopt;
        }
        serial = daysFromCivil(y, unsigned(m), unsigned(d)) - kEpoch1904;
    }
    return double(serial) + double(seconds) / 86400.0;
}

} // namespace workbook::text
