#include "platform/memoryallocator.h"

#include <cstdlib> // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void TuneMemoryAllocator()
{
#if defined(__GLIBC__)
    // Fixed bounds instead of glibc's sliding ones, which rise to the largest buffer ever
    // freed and then keep that much: memory from below this size is reused...
    mallopt(M_MMAP_THRESHOLD, 2 << 20);
    // ...and at most this much of it stays with the process while it is unused.
    mallopt(M_TRIM_THRESHOLD, 4 << 20);
#endif
}
