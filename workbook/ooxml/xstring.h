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

    // Whether every character data of an XML fragment (a cell's <is>, a <si>, an <f>) is valid
    // UTF-8 spelled the way encode() spells it, so that a changed text written back keeps its
    // unchanged characters byte for byte. Lower-case escapes (_x000a_), escapes of characters
    // that need none (_x0041_) and malformed UTF-8 are not.
    static bool storedExactly(const char *xml, qsizetype size);
};

} // namespace workbook::ooxml
