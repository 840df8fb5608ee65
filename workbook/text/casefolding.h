#pragma once

#include <QStringView>

namespace workbook::text
{

// Unicode simple case folding, the one notion of "same letters, any case" shared by Find,
// Replace and the sheet-name rules. Simple folding maps one code point to one code point, so
// German ß does not equal "ss" (ß and ẞ equal each other), while Greek Σ, σ and ς all equal.
class CaseFolding
{
public:
    static char32_t fold(char32_t codePoint);

    // Reads the code point at index i of text (a surrogate pair counts as one; a lone
    // surrogate is returned as itself) and advances i past it.
    static char32_t nextCodePoint(QStringView text, qsizetype &i)
    {
        const char16_t c = text[i].unicode();
        ++i;
        if (c >= 0xD800 && c < 0xDC00 && i < text.size()) {
            const char16_t d = text[i].unicode();
            if (d >= 0xDC00 && d < 0xE000) {
                ++i;
                return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(d) - 0xDC00);
            }
        }
        return c;
    }

    static bool equal(QStringView a, QStringView b);

    // Every code point outside ASCII whose fold is an ASCII letter (the long s, the Kelvin
    // sign), so that a byte search for an ASCII text can also look for them.
    struct FoldPair {
        char32_t codePoint;
        char32_t folded;
    };
    static constexpr FoldPair kNonAsciiFoldingToAscii[] = {{0x017F, 's'}, {0x212A, 'k'}};
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
