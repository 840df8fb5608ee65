#include "platform/rawfilenames.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

std::vector<std::string> RawFileNames(const char *folder)
{
    std::vector<std::string> names;
    if (!folder || folder[0] == '\0')
        return names;
    DIR *directory = ::opendir(folder);
    if (!directory)
        return names;
    const int descriptor = ::dirfd(directory);
    while (const dirent *entry = ::readdir(directory)) {
        struct stat info;
        // Links are left out, as the listing of workbooks leaves them out.
        if (::fstatat(descriptor, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode))
            names.emplace_back(entry->d_name);
    }
    ::closedir(directory);
    return names;
}
