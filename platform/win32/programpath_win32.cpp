#include "platform/programpath.h"

#include <cstring>

void ProgramPath(char *output, std::size_t outputSize, const char *argument0)
{
    if (!output || outputSize == 0)
        return;
    output[0] = '\0';
    if (!argument0)
        return;
    const std::size_t length = std::strlen(argument0);
    if (length < outputSize)
        std::memcpy(output, argument0, length + 1);
}
