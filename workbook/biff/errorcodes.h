#pragma once

#include <QString>

namespace workbook::biff
{

// The error constant a BIFF8 error code stands for (cells and formula tokens alike); empty
// for a code Excel does not define.
inline QString errorCodeText(quint8 code)
{
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    case 0x2A:
        return QStringLiteral("#N/A");
    }
    return QString();
}

} // namespace workbook::biff
