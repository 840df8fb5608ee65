#pragma once

namespace workbook
{

// The rows and columns a sheet of one format can hold; a backend names its own.
struct GridLimits {
    int rows = 0;
    int columns = 0;

    static constexpr GridLimits ooxml() { return GridLimits{1048576, 16384}; }
    static constexpr GridLimits biff8() { return GridLimits{65536, 256}; }
};

} // namespace workbook
