#pragma once

#include <QtGlobal>
#include <cstring>

namespace workbook::biff
{

// The number an RK value stands for: a 30-bit integer or the top of a double, either possibly
// divided by 100.
inline double rkValue(quint32 rk)
{
    double v;
    if (rk & 0x02) {
        v = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 0x01) ? v / 100.0 : v;
}

} // namespace workbook::biff
