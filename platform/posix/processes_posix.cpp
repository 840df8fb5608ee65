#include "platform/processes.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <signal.h>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace
{

// The executable's file name of a process, from its /proc entry; empty when it cannot be read
// (another user's process, a zombie, a kernel thread).
std::string ExecutableName(pid_t pid)
{
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    char target[4096];
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0)
        return {};
    std::string path(target, static_cast<std::size_t>(length));
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() &&
        path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.erase(path.size() - deleted.size());
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Process ids in the order /proc lists them; false when /proc cannot be read.
bool ListProcesses(std::vector<pid_t> &pids)
{
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return false;
    while (const dirent *entry = ::readdir(proc)) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid > 0 && end && *end == '\0')
            pids.push_back(static_cast<pid_t>(pid));
    }
    ::closedir(proc);
    return true;
}

} // namespace

int CountProcessesByName(const char *name)
{
    if (!name)
        return 0;
    std::vector<pid_t> pids;
    if (!ListProcesses(pids))
        return 0;
    int count = 0;
    for (const pid_t pid : pids)
        if (ExecutableName(pid) == name)
            ++count;
    return count;
}

int TerminateProcessByName(const char *name)
{
    if (!name)
        return 0;
    std::vector<pid_t> pids;
    if (!ListProcesses(pids))
        return 0;
    const pid_t self = ::getpid();
    for (const pid_t pid : pids) {
        if (pid == self || ExecutableName(pid) != name)
            continue;
        // Like TerminateProcess: unconditional, the process gets no say.
        ::kill(pid, SIGKILL);
        return 1;
    }
    return 0;
}
