#include "workbook/text/casefolding.h"

#include <QChar>

namespace workbook::text
{

char32_t CaseFolding::fold(char32_t codePoint)
{
    if (codePoint < 0x80) {
        return (codePoint >= 'A' && codePoint <= 'Z') ? codePoint + 32 : codePoint;
    }
    return QChar::toCaseFolded(uint(codePoint));
}

bool CaseFolding::equal(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (fold(nextCodePoint(a, i)) != fold(nextCodePoint(b, j))) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

} // namespace workbook::text
