#pragma once

#include "engine/excelautomation.h"

// Serves the seam with the program's own workbook server: no office suite involved.
class NativeExcelAutomation : public ExcelAutomation
{
public:
    std::unique_ptr<Application> Start() override;
};
