#include "platform/memoryallocator.h"

// The Windows heap reuses freed memory by itself.
void TuneMemoryAllocator() {}
