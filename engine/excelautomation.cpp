#include "engine/excelautomation.h"

#include "engine/nativeexcelautomation.h"

#include <QMutex>
#include <QMutexLocker>
#include <algorithm>

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

void ExcelAutomation::Range::ReplacePairs(const QStringList &what, const QStringList &replacements,
                                          bool justShow, bool *matched, Reason *reason)
{
    const int count = int(std::min(what.size(), replacements.size()));
    for (int pair = 0; pair < count; ++pair) {
        Reason current;
        if (!*matched && Find(what.at(pair), &current))
            *matched = true;
        if (!current.IsFailure() && !justShow)
            Replace(what.at(pair), replacements.at(pair), &current);
        if (current.IsFailure()) {
            *reason = current;
            return;
        }
    }
}
