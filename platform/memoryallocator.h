#pragma once

// Lets the C library's allocator keep the memory a workbook freed for the next one on the
// same thread, up to a bound, instead of handing it back and having the system zero fresh
// pages for every workbook of a folder. Buffers of several megabytes are still mapped apart
// and returned whole, so a large workbook's peak stays what it was. Call before any thread
// starts.
void TuneMemoryAllocator();
