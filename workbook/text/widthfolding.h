#pragma once

namespace workbook::text
{

// East Asian width folding, the "match byte" (区分全/半角) option that Excel's Find and Replace
// leave off: full-width ASCII forms equal their ASCII twins, the ideographic space equals a
// space, half-width katakana, hangul and symbols equal their full-width forms. Each code point
// maps to one code point, as Unicode's <wide> and <narrow> decompositions do; a half-width
// voiced kana (two characters, ｶﾞ) therefore equals カ followed by the combining mark, not ガ.
class WidthFolding
{
public:
    static char32_t fold(char32_t codePoint)
    {
        if (codePoint < 0x3000)
            return codePoint;
        if (codePoint == 0x3000)
            return 0x20;
        if (codePoint >= 0xFF00 && codePoint <= 0xFFEF)
            return halfAndFullWidthForm(codePoint);
        return codePoint;
    }

    // The fold used by Find and Replace: width first, then letter case.
    static char32_t foldForMatch(char32_t codePoint);

private:
    static char32_t halfAndFullWidthForm(char32_t codePoint);
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
