#pragma once

#include "engine/excelautomation.h"

// Serves the seam with the program's own workbook server: no office suite involved.
class NativeExcelAutomation : public ExcelAutomation
{
public:
    std::unique_ptr<Application> Start() override;
    // Each Application owns its workbooks outright and shares nothing with another.
    bool SupportsParallelWorkbooks() const override { return true; }
};
