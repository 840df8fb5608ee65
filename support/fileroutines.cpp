#include "support/fileroutines.h"

#include "platform/pathsearch.h"

#include <cstring>

long GetFileLength(std::FILE *file)
{
    if (!file)
        return -1;
    const long position = std::ftell(file);
    if (position < 0 || std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    const long length = std::ftell(file);
    std::fseek(file, position, SEEK_SET);
    return length;
}

int LoadFileText(char *buffer, std::size_t bufferSize, const char *filePath)
{
    if (!buffer || !filePath)
        return -1;
    std::FILE *file = std::fopen(filePath, "rb");
    if (!file)
        return -1;
    const long length = GetFileLength(file);
    // The text and its NUL must fit; a longer file is refused whole rather than cut.
    if (length < 0 || static_cast<unsigned long>(length) >= bufferSize) {
        std::fclose(file);
        return -1;
    }
    const std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(length), file);
    std::fclose(file);
    buffer[got] = '\0';
    return 0;
}

int PathExists(const char *path)
{
    if (!path || path[0] == '\0')
        return 0;
    return FindFirstPathEntry(path, nullptr) ? 1 : 0;
}

int DirectoryExists(const char *path)
{
    if (!path || path[0] == '\0')
        return false;
    const std::size_t length = std::strlen(path);
    if (length > kMaxDirectoryPathLength)
        return false;
    char working[kMaxDirectoryPathLength + 1];
    std::memcpy(working, path, length + 1);
    // The root "/" stays itself: without its slash it would name nothing.
    if (length > 1 && (working[length - 1] == '\\' || working[length - 1] == '/'))
        working[length - 1] = '\0';
    bool isDirectory = false;
    if (!FindFirstPathEntry(working, &isDirectory))
        return false;
    return isDirectory;
}
