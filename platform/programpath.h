#pragma once

#include <cstddef>

// The separator the program path is cut at to find the executable's folder.
#ifdef _WIN32
constexpr const char kPathSeparator[] = "\\";
#else
constexpr const char kPathSeparator[] = "/";
#endif

// Writes the running program's path into output (at most outputSize bytes with the NUL).
// On Windows it is argument 0 as passed; elsewhere argument 0 may be a bare name found on the
// PATH, so the path of the running executable is asked of the system, falling back to
// argument 0. A path that does not fit leaves the empty string.
void ProgramPath(char *output, std::size_t outputSize, const char *argument0);
