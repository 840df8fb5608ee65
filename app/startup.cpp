#include "app/startup.h"

#include "platform/processes.h"
#include "platform/programpath.h"
#include "support/textsplice.h"

#include <cstring>

char firstArgument[kFirstArgumentSize];
char exeDirectory[kStartupPathSize];
char settingsFilePath[kStartupPathSize];

namespace {

// Copies as much as fits; a cut argument is never mistaken for a whole one by exact tests.
void CopyTruncated(char *output, std::size_t outputSize, const char *text)
{
    std::size_t length = std::strlen(text);
    if (length >= outputSize)
        length = outputSize - 1;
    std::memcpy(output, text, length);
    output[length] = '\0';
}

} // namespace

void InitialiseStartupValues(int argc, char **argv)
{
    firstArgument[0] = '\0';
    if (argc > 1 && argv[1])
        CopyTruncated(firstArgument, sizeof firstArgument, argv[1]);

    char programPath[kStartupPathSize];
    ProgramPath(programPath, sizeof programPath, argc > 0 ? argv[0] : nullptr);
    TextBeforeMarker(exeDirectory, programPath, kPathSeparator, true, true);

    settingsFilePath[0] = '\0';
    const std::size_t directoryLength = std::strlen(exeDirectory);
    if (directoryLength + sizeof kSettingsFileName <= sizeof settingsFilePath) {
        std::memcpy(settingsFilePath, exeDirectory, directoryLength);
        std::memcpy(settingsFilePath + directoryLength, kSettingsFileName,
                    sizeof kSettingsFileName);
    }
}

void ApplyOneInstanceRule()
{
    if (CountProcessesByName(kExecutableName) > 1)
        TerminateProcessByName(kExecutableName);
}
