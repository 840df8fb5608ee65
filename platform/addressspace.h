#pragma once

// Whether the process runs under a limit on its address space (ulimit -v). Every extra thread
// reserves a stack and its own allocation arena there, which such a limit may not hold.
bool AddressSpaceLimited();
