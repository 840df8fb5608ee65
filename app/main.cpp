#include "app/startup.h"
#include "app/widget.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    Q_INIT_RESOURCE(resources);
    InitialiseStartupValues(argc, argv);
    ApplyOneInstanceRule();

    QApplication application(argc, argv);
    Widget window;
    return application.exec();
}
