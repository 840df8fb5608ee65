#pragma once

#include <cstddef>

// Where settings may live besides the executable's own folder.

// The user's configuration folder for this program, ending in a separator:
// "$XDG_CONFIG_HOME/Tessaromandel/" (by default "~/.config/Tessaromandel/") on POSIX,
// "%APPDATA%\Tessaromandel\" on Windows. The empty string when the environment names none or
// the path does not fit outputSize.
void UserSettingsFolder(char *output, std::size_t outputSize);

// True when this process may write the existing file or create entries in the existing folder.
bool CanWrite(const char *path);

// True for the system's shared program folders ("/usr/bin/", "/usr/local/bin/", "/bin/" ...),
// where an installed program lives and no user's settings belong, even for a user who may write
// there. Always false on Windows, where a writable program folder means a portable copy.
bool IsSharedProgramFolder(const char *folder);
