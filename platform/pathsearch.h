#pragma once

// A file-system search for one path: true when any entry matches it, files and folders alike.
// "*" and "?" in the path are wildcards, except where (on POSIX) an entry has exactly that
// name, which is then the one found. When isDirectory is given it receives whether the
// first entry found is a folder.
bool FindFirstPathEntry(const char *path, bool *isDirectory);
