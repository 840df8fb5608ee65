#include "engine/runparameters.h"

#include <QMutex>
#include <QMutexLocker>

namespace
{

QMutex &parametersMutex()
{
    static QMutex mutex;
    return mutex;
}

RunParameters &processParameters()
{
    static RunParameters parameters;
    return parameters;
}

} // namespace

RunParameters RunParameters::Snapshot()
{
    QMutexLocker locker(&parametersMutex());
    return processParameters();
}

void RunParameters::Publish(const RunParameters &parameters)
{
    QMutexLocker locker(&parametersMutex());
    processParameters() = parameters;
}

void RunParameters::SetAppSheetOn(bool on)
{
    QMutexLocker locker(&parametersMutex());
    processParameters().appSheetOn = on;
}
