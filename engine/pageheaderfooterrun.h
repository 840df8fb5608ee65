#pragma once

#include "engine/excelautomation.h"

#include <QString>

struct RunParameters;
class RunObserver;

// Sets, or edits by find and replace, the header or footer section at one position of every
// sheet of every workbook.
class PageHeaderFooterRun
{
public:
    // False when the run ended early because no server could be started.
    static bool Execute(const RunParameters &parameters, RunObserver &observer);

    // The field a position word selects ("左边", "中间", "右边", compared exactly); false for
    // any other text.
    static bool FieldForPosition(const QString &position, bool header,
                                 ExcelAutomation::PageSetupField *field);
};
