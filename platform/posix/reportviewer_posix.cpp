#include "platform/reportviewer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

bool IsOnPath(const char *program)
{
    const char *path = std::getenv("PATH");
    if (!path)
        return false;
    std::string folders(path);
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

void SystemReportViewer(const char *reportPath)
{
    // Without xdg-open there is no desktop viewer to hand the file to; the report stays on disk.
    if (!IsOnPath("xdg-open"))
        return;
    // Detached: the intermediate child exits at once, so the viewer is adopted by init and
    // never becomes our zombie.
    const pid_t child = ::fork();
    if (child < 0)
        return;
    if (child == 0) {
        ::setsid();
        if (::fork() == 0) {
            ::execlp("xdg-open", "xdg-open", reportPath, static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
}
