#include "platform/display.h"

#include <windows.h>

// The primary monitor's top-left corner is the origin of the Windows desktop by definition.
DisplayGeometry SystemPrimaryDisplayGeometry()
{
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

DisplayGeometry (*PrimaryDisplayGeometry)() = &SystemPrimaryDisplayGeometry;
