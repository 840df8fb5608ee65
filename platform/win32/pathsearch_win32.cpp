#include "platform/pathsearch.h"

#include <windows.h>

bool FindFirstPathEntry(const char *path, bool *isDirectory)
{
    if (!path || path[0] == '\0')
        return false;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(path, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    if (isDirectory)
        *isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    FindClose(search);
    return true;
}
