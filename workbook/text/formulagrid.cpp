#include "workbook/text/formulagrid.h"

#include "workbook/text/formulatokenizer.h"

namespace workbook::text
{

namespace
{

// The column and row one part of a reference names (0 where it names none), "$" ignored.
void partExtent(QStringView part, qint64 *column, qint64 *row)
{
    *column = 0;
    *row = 0;
    for (const QChar c : part) {
        const char16_t u = c.unicode();
        if ((u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z'))
            *column = *column * 26 + ((u | 0x20) - 'a' + 1);
        else if (u >= u'0' && u <= u'9' && *row <= qint64(1) << 40)
            *row = *row * 10 + (u - '0');
    }
}

} // namespace

QString FormulaGrid::referenceBeyond(QStringView formula, int rows, int columns)
{
    for (const FormulaToken &token : FormulaTokenizer::tokenize(formula)) {
        if (token.type != FormulaToken::Type::CellRef)
            continue;
        const QStringView reference = formula.mid(token.start, token.length);
        const qsizetype colon = reference.indexOf(u':');
        for (const QStringView part : {colon < 0 ? reference : reference.left(colon),
                                       colon < 0 ? QStringView() : reference.mid(colon + 1)}) {
            qint64 column = 0;
            qint64 row = 0;
            partExtent(part, &column, &row);
            if (column > columns || row > rows)
                return reference.toString();
        }
    }
    return QString();
}

} // namespace workbook::text
