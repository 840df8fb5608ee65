#include "platform/pathsearch.h"

#include <glob.h>
#include <string>
#include <sys/stat.h>

namespace
{

bool IsFolder(const char *path)
{
    struct stat info;
    return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// Only "*" and "?" are wildcards here, as in a Windows file search; the other glob
// metacharacters are taken literally.
std::string EscapeForGlob(const char *path)
{
    std::string pattern;
    for (const char *c = path; *c; ++c) {
        if (*c == '[' || *c == ']' || *c == '\\')
            pattern += '\\';
        pattern += *c;
    }
    return pattern;
}

} // namespace

bool FindFirstPathEntry(const char *path, bool *isDirectory)
{
    if (!path || path[0] == '\0')
        return false;
    // "?" and "*" are ordinary characters in POSIX names: an entry of exactly this name is
    // the answer, and only without one do they act as wildcards.
    struct stat info;
    if (::lstat(path, &info) == 0) {
        if (isDirectory)
            *isDirectory = IsFolder(path);
        return true;
    }
    if (std::string(path).find_first_of("*?") == std::string::npos)
        return false;
    glob_t matches;
    const int result = ::glob(EscapeForGlob(path).c_str(), GLOB_NOSORT, nullptr, &matches);
    const bool found = result == 0 && matches.gl_pathc > 0;
    if (found && isDirectory)
        *isDirectory = IsFolder(matches.gl_pathv[0]);
    ::globfree(&matches);
    return found;
}
