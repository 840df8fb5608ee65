#include "app/qtchinese.h"
#include "app/startup.h"
#include "app/widget.h"
#include "platform/memoryallocator.h"
#include "platform/timezone.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    PinLocalTimeZone();
    TuneMemoryAllocator();
    Q_INIT_RESOURCE(resources);
    InitialiseStartupValues(argc, argv);
    ApplyOneInstanceRule();

    QApplication application(argc, argv);
    InstallQtChineseTranslation(application);
    Widget window;
    return application.exec();
}
