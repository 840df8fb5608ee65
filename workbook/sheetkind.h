#pragma once

namespace workbook
{

enum class SheetKind { Worksheet, Chartsheet, Macrosheet, Dialogsheet };

enum class SheetVisibility { Visible, Hidden, VeryHidden };

} // namespace workbook
