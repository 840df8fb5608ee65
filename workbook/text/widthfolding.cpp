#include "workbook/text/widthfolding.h"

#include "workbook/text/casefolding.h"

#include <QChar>
#include <QString>
#include <QVector>
#include <array>

namespace workbook::text
{

namespace
{

// The block U+FF00..U+FFEF, from Qt's Unicode tables once, so a fold is one table look-up.
struct WidthTable {
    std::array<char32_t, 0xF0> folded;

    WidthTable()
    {
        for (uint k = 0; k < folded.size(); ++k) {
            const uint c = 0xFF00 + k;
            folded[k] = c;
            const QChar::Decomposition tag = QChar::decompositionTag(c);
            if (tag != QChar::Wide && tag != QChar::Narrow)
                continue;
            const QVector<uint> target = QChar::decomposition(c).toUcs4();
            if (target.size() == 1)
                folded[k] = target[0];
        }
    }
};

} // namespace

char32_t WidthFolding::halfAndFullWidthForm(char32_t codePoint)
{
    static const WidthTable table;
    return table.folded[codePoint - 0xFF00];
}

char32_t WidthFolding::foldForMatch(char32_t codePoint)
{
    return CaseFolding::fold(fold(codePoint));
}

} // namespace workbook::text
