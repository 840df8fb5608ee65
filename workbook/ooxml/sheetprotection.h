#pragma once

#include <QByteArray>

namespace workbook::ooxml
{

// Whether a sheet part is protected (<sheetProtection sheet="1">), so that its locked cells
// keep their content.
class SheetProtection
{
public:
    static bool isProtected(const QByteArray &xml);
};

} // namespace workbook::ooxml
