#include "platform/programpath.h"

#include <cstring>
#include <unistd.h>

void ProgramPath(char *output, std::size_t outputSize, const char *argument0)
{
    if (!output || outputSize == 0)
        return;
    output[0] = '\0';
    const ssize_t length = ::readlink("/proc/self/exe", output, outputSize);
    if (length > 0 && static_cast<std::size_t>(length) < outputSize) {
        output[length] = '\0';
        return;
    }
    output[0] = '\0';
    if (length > 0 || !argument0)
        return; // the real path did not fit: an empty path is safer than a cut one
    const std::size_t argumentLength = std::strlen(argument0);
    if (argumentLength < outputSize)
        std::memcpy(output, argument0, argumentLength + 1);
}
