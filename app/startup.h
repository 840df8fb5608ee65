#pragma once

#include <cstddef>

// Process-wide start-up values: local 8-bit byte strings written once by the entry point,
// before the application object exists, and only read afterwards.
constexpr std::size_t kFirstArgumentSize = 32;
constexpr std::size_t kStartupPathSize = 1024;

extern char firstArgument[kFirstArgumentSize];  // the first argument, at most 31 bytes of it
extern char exeDirectory[kStartupPathSize];     // the executable's folder with its separator
extern char settingsFilePath[kStartupPathSize]; // the settings file, see ChooseSettingsFilePath

constexpr const char kSettingsFileName[] = "Tessaromandel.vrn";
constexpr const char kAutorunArgument[] = "-autorun";

// Fills the three values from the argument vector.
void InitialiseStartupValues(int argc, char **argv);

// The settings file beside the executable in programFolder (a folder ending in its separator,
// or empty for the working folder) when this process may write there and it is not a shared
// program folder such as /usr/bin; otherwise, as for an installed program, the one in the user's
// configuration folder, which the first save creates. A path that does not fit leaves the empty
// string.
void ChooseSettingsFilePath(char *output, std::size_t outputSize, const char *programFolder);

// When another process of this executable runs, ends the first one the system lists (never
// this one).
void ApplyOneInstanceRule();
