#pragma once

// The running processes, by executable file name (without its folder), compared byte for byte.

// The executable name the one-instance rule counts.
#ifdef _WIN32
constexpr const char kExecutableName[] = "Tessaromandel.exe";
#else
constexpr const char kExecutableName[] = "Tessaromandel";
#endif

// Number of running processes whose executable file name equals name; 0 when name is null or
// the process list cannot be read.
int CountProcessesByName(const char *name);

// Ends the first listed process whose executable file name equals name, never the calling
// process itself, and returns 1; returns 0 when no other process matches, name is null or the
// list cannot be read.
int TerminateProcessByName(const char *name);
