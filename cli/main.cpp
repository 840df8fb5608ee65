#include "cli/clirun.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    return CliRun::Main(application.arguments().mid(1));
}
