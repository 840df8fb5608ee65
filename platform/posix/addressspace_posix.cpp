#include "platform/addressspace.h"

#include <sys/resource.h>

bool AddressSpaceLimited()
{
    struct rlimit limit;
    return ::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
}
