#include "engine/excelautomation.h"

#include <QMutex>
#include <QMutexLocker>

#ifdef TESSAROMANDEL_HAVE_WORKBOOK
#include "engine/nativeexcelautomation.h"
#endif

namespace
{

QMutex &currentMutex()
{
    static QMutex mutex;
    return mutex;
}

std::shared_ptr<ExcelAutomation> &currentAutomation()
{
#ifdef TESSAROMANDEL_HAVE_WORKBOOK
    static std::shared_ptr<ExcelAutomation> automation = std::make_shared<NativeExcelAutomation>();
#else
    static std::shared_ptr<ExcelAutomation> automation;
#endif
    return automation;
}

} // namespace

std::shared_ptr<ExcelAutomation> ExcelAutomation::Current()
{
    QMutexLocker locker(&currentMutex());
    return currentAutomation();
}

void ExcelAutomation::SetCurrent(std::shared_ptr<ExcelAutomation> automation)
{
    QMutexLocker locker(&currentMutex());
    currentAutomation() = std::move(automation);
}
