#include "platform/reportviewer.h"

#undef UNICODE
#undef _UNICODE
// clang-format off: windows.h comes first, the headers after it need its declarations.
#include <windows.h>
// clang-format on

#include <string>

void SystemReportViewer(const char *reportPath)
{
    std::string commandLine = std::string("notepad.exe \"") + reportPath + "\"";
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                       nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
