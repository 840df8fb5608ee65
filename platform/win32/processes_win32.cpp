#include "platform/processes.h"

// The ANSI entry points: process names are compared as local 8-bit bytes.
#undef UNICODE
#undef _UNICODE
// clang-format off: windows.h comes first, the headers after it need its declarations.
#include <windows.h>
// clang-format on

#include <cstring>
#include <tlhelp32.h>

namespace
{

template <typename Visit> bool WalkProcesses(Visit visit)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(PROCESSENTRY32);
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (!visit(entry))
            break;
    }
    CloseHandle(snapshot);
    return true;
}

} // namespace

int CountProcessesByName(const char *name)
{
    if (!name)
        return 0;
    int count = 0;
    WalkProcesses([&](const PROCESSENTRY32 &entry) {
        if (std::strcmp(entry.szExeFile, name) == 0)
            ++count;
        return true;
    });
    return count;
}

int TerminateProcessByName(const char *name)
{
    if (!name)
        return 0;
    const DWORD self = GetCurrentProcessId();
    int ended = 0;
    WalkProcesses([&](const PROCESSENTRY32 &entry) {
        if (entry.th32ProcessID == self || std::strcmp(entry.szExeFile, name) != 0)
            return true;
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
        if (process) {
            TerminateProcess(process, 0);
            CloseHandle(process);
        }
        ended = 1;
        return false;
    });
    return ended;
}
