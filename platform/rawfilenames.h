#pragma once

#include <string>
#include <vector>

// The names of the regular files directly in folder, as the file system holds them: bytes that
// need not be valid in the local encoding. Empty where names are never such bytes (Windows,
// whose names Qt reads as UTF-16) and when the folder cannot be read.
std::vector<std::string> RawFileNames(const char *folder);
