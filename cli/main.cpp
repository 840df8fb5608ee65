#include "cli/clirun.h"
#include "platform/memoryallocator.h"
#include "platform/timezone.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    PinLocalTimeZone();
    TuneMemoryAllocator();
    QCoreApplication application(argc, argv);
    return CliRun::Main(application.arguments().mid(1));
}
