#include "platform/display.h"

#include <windows.h>

DisplaySize PrimaryDisplaySize()
{
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}
