#include "platform/settingsfolder.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

void UserSettingsFolder(char *output, std::size_t outputSize)
{
    if (!output || outputSize == 0)
        return;
    output[0] = '\0';
    std::string folder;
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
    const char *config = std::getenv("XDG_CONFIG_HOME");
    const char *home = std::getenv("HOME");
    if (config && config[0] == '/')
        folder = config;
    else if (home && home[0] == '/')
        folder = std::string(home) + "/.config";
    else
        return;
    folder += "/Tessaromandel/";
    if (folder.size() < outputSize)
        std::memcpy(output, folder.c_str(), folder.size() + 1);
}

bool CanWrite(const char *path)
{
    return path && path[0] != '\0' && ::access(path, W_OK) == 0;
}

bool IsSharedProgramFolder(const char *folder)
{
    if (!folder)
        return false;
    std::string path(folder);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    for (const char *shared : {"/bin", "/sbin", "/usr/bin", "/usr/sbin", "/usr/games",
                               "/usr/local/bin", "/usr/local/sbin", "/usr/local/games"})
        if (path == shared)
            return true;
    return false;
}
