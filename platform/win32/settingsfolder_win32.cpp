#include "platform/settingsfolder.h"

#include <cstdlib>
#include <cstring>
#include <io.h>
#include <string>
#include <windows.h>

void UserSettingsFolder(char *output, std::size_t outputSize)
{
    if (!output || outputSize == 0)
        return;
    output[0] = '\0';
    const char *appData = std::getenv("APPDATA");
    if (!appData || appData[0] == '\0')
        return;
    const std::string folder = std::string(appData) + "\\Tessaromandel\\";
    if (folder.size() < outputSize)
        std::memcpy(output, folder.c_str(), folder.size() + 1);
}

bool CanWrite(const char *path)
{
    if (!path || path[0] == '\0')
        return false;
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    // Folders report no read-only state that means anything: try to create a file in them.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        std::string probe(path);
        if (!probe.empty() && probe.back() != '\\' && probe.back() != '/')
            probe += '\\';
        probe += "Tessaromandel.probe";
        const HANDLE file =
            CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(file);
        return true;
    }
    return (attributes & FILE_ATTRIBUTE_READONLY) == 0 && _access(path, 2) == 0;
}

bool IsSharedProgramFolder(const char *)
{
    return false;
}
