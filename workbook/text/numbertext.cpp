#include "workbook/text/numbertext.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace workbook::text
{

int NumberText::write(double value, char *out)
{
    if (!std::isfinite(value)) {
        std::memcpy(out, "#NUM!", 6);
        return 5;
    }
    if (value == 0) {
        out[0] = '0';
        out[1] = 0;
        return 1;
    }
    // Whole numbers are the common case and need no digit rounding.
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
        long long whole = static_cast<long long>(value);
        int n = 0;
        if (whole < 0) {
            out[n++] = '-';
            whole = -whole;
        }
        char reversed[20];
        int count = 0;
        do {
            reversed[count++] = char('0' + whole % 10);
            whole /= 10;
        } while (whole != 0);
        while (count > 0) {
            out[n++] = reversed[--count];
        }
        out[n] = 0;
        return n;
    }
    // The shortest form that reads back as the same double is already the 15-digit rounding
    // when it has at most 15 digits (a double's half-ulp is smaller than half a unit in the
    // 15th digit); only longer ones need the slower fixed-precision rounding. Both are in C
    // locale scientific form; the layout below is ours.
    char sci[40];
    auto written = std::to_chars(sci, sci + sizeof sci - 1, value, std::chars_format::scientific);
    const char *e = static_cast<const char *>(std::memchr(sci, 'e', size_t(written.ptr - sci)));
    const long mantissaChars = e ? long(e - sci) - (sci[0] == '-') : 0;
    if (mantissaChars > 16) { // more than 15 digits plus the point
        written =
            std::to_chars(sci, sci + sizeof sci - 1, value, std::chars_format::scientific, 14);
    }
    *written.ptr = 0;
    const char *p = sci;
    const bool negative = *p == '-';
    if (negative) {
        ++p;
    }
    char digits[16];
    int count = 0;
    for (; *p && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9' && count < 15) {
            digits[count++] = *p;
        }
    }
    const int exponent = std::atoi(p + 1);
    while (count > 1 && digits[count - 1] == '0') {
        --count;
    }

    int n = 0;
    if (negative) {
        out[n++] = '-';
    }
    if (exponent >= -9 && exponent < 15) {
        if (exponent >= 0) {
            for (int k = 0; k <= exponent; ++k) {
                out[n++] = k < count ? digits[k] : '0';
            }
            if (count > exponent + 1) {
                out[n++] = '.';
                for (int k = exponent + 1; k < count; ++k) {
                    out[n++] = digits[k];
                }
            }
        } else {
            out[n++] = '0';
            out[n++] = '.';
            for (int k = 0; k < -exponent - 1; ++k) {
                out[n++] = '0';
            }
            for (int k = 0; k < count; ++k) {
                out[n++] = digits[k];
            }
        }
    } else {
        out[n++] = digits[0];
        if (count > 1) {
            out[n++] = '.';
            for (int k = 1; k < count; ++k) {
                out[n++] = digits[k];
            }
        }
        n += std::snprintf(out + n, kBufferSize - n, "E%c%02d", exponent < 0 ? '-' : '+',
                           std::abs(exponent));
    }
    out[n] = 0;
    return n;
}

QString NumberText::format(double value)
{
    char buffer[kBufferSize];
    const int n = write(value, buffer);
    return QString::fromLatin1(buffer, n);
}

std::optional<double> NumberText::parse(QStringView text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    const qsizetype mantissaStart = i;
    qsizetype digitCount = 0;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') {
        ++i;
        ++digitCount;
    }
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && text[i] >= u'0' && text[i] <= u'9') {
            ++i;
            ++digitCount;
        }
    }
    if (digitCount == 0) {
        return std::nullopt;
    }
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            ++i;
        }
        const qsizetype expStart = i;
        while (i < n && text[i] >= u'0' && text[i] <= u'9') {
            ++i;
        }
        if (i == expStart) {
            return std::nullopt;
        }
    }
    if (i != n) {
        return std::nullopt;
    }
    // Only ASCII is left, so a byte copy is exact.
    std::string ascii;
    ascii.reserve(size_t(n - mantissaStart));
    for (qsizetype k = mantissaStart; k < n; ++k) {
        ascii.push_back(char(text[k].unicode()));
    }
    double value = 0;
    const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (result.ec != std::errc() || result.ptr != ascii.data() + ascii.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

} // namespace workbook::text
