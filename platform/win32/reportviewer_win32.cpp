#include "platform/reportviewer.h"

#undef UNICODE
#undef _UNICODE
#include <string>
#include <windows.h>

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
