// Runs the entry point's start-up steps and prints the values they produced, so a test can see
// how the program finds its folder when started in different ways.
#include "app/startup.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    InitialiseStartupValues(argc, argv);
    std::printf("firstArgument=%s\nexeDirectory=%s\nsettingsFilePath=%s\n", firstArgument,
                exeDirectory, settingsFilePath);
    return 0;
}
