#pragma once

#include <QString>

namespace workbook::ooxml
{

// The _xHHHH_ escapes of OOXML strings: characters XML cannot carry (control characters,
// U+FFFE, U+FFFF) are written as _xHHHH_, and a literal "_xHHHH_" protects its underscore
// as _x005F_.
class XString
{
public:
    static QString decode(const QString &stored);
    static QString encode(const QString &text);
};

} // namespace workbook::ooxml
