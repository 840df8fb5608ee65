#include "app/startup.h"

#include "platform/processes.h"
#include "platform/programpath.h"
#include "platform/settingsfolder.h"
#include "support/textsplice.h"

#include <cstring>

char firstArgument[kFirstArgumentSize];
char exeDirectory[kStartupPathSize];
char settingsFilePath[kStartupPathSize];

namespace
{

// Copies as much as fits; a cut argument is never mistaken for a whole one by exact tests.
void CopyTruncated(char *output, std::size_t outputSize, const char *text)
{
    std::size_t length = std::strlen(text);
    if (length >= outputSize)
        length = outputSize - 1;
    std::memcpy(output, text, length);
    output[length] = '\0';
}

// Writes folder followed by name; false (and nothing written) when it does not fit.
bool JoinPath(char *output, std::size_t outputSize, const char *folder, const char *name)
{
    const std::size_t folderLength = std::strlen(folder);
    const std::size_t nameLength = std::strlen(name);
    if (folderLength + nameLength >= outputSize)
        return false;
    std::memcpy(output, folder, folderLength);
    std::memcpy(output + folderLength, name, nameLength + 1);
    return true;
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

    ChooseSettingsFilePath(settingsFilePath, sizeof settingsFilePath, exeDirectory);
}

void ChooseSettingsFilePath(char *output, std::size_t outputSize, const char *programFolder)
{
    output[0] = '\0';
    char beside[kStartupPathSize];
    if (!JoinPath(beside, sizeof beside, programFolder, kSettingsFileName))
        return;
    // A portable copy in a folder it may write keeps its settings beside itself; so does one
    // whose settings file there is writable although the folder is not. An installed one (in
    // a shared program folder) uses the user's folder even when run by root.
    const char *folder = programFolder[0] != '\0' ? programFolder : ".";
    char userFolder[kStartupPathSize];
    UserSettingsFolder(userFolder, sizeof userFolder);
    const bool portable =
        !IsSharedProgramFolder(programFolder) && (CanWrite(folder) || CanWrite(beside));
    if (portable || userFolder[0] == '\0' ||
        !JoinPath(output, outputSize, userFolder, kSettingsFileName))
        CopyTruncated(output, outputSize, beside);
}

void ApplyOneInstanceRule()
{
    if (CountProcessesByName(kExecutableName) > 1)
        TerminateProcessByName(kExecutableName);
}
