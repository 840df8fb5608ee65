#include "engine/excelautomation.h"

#include "engine/nativeexcelautomation.h"

#include <QMutex>
#include <QMutexLocker>

namespace
{

QMutex &currentMutex()
{
    static QMutex mutex;
    return mutex;
}

std::shared_ptr<ExcelAutomation> &currentAutomation()
{
    static std::shared_ptr<ExcelAutomation> automation = std::make_shared<NativeExcelAutomation>();
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
