#include "platform/addressspace.h"

bool AddressSpaceLimited()
{
    // A job object's memory limit counts committed memory, not reserved address space.
    return false;
}
