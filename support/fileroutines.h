#pragma once

#include <cstddef>
#include <cstdio>

// File and folder tests on local 8-bit paths.

// The file's length in bytes; the stream's position is the same afterwards. -1 on failure.
long GetFileLength(std::FILE *file);

// Loads the whole file and a terminating NUL into the buffer. Returns 0 when loaded, -1 when the
// file cannot be opened or read, or when it does not fit (length + 1 > bufferSize); on -1 the
// buffer is not touched.
int LoadFileText(char *buffer, std::size_t bufferSize, const char *filePath);

template <std::size_t N> int LoadFileText(char (&buffer)[N], const char *filePath)
{
    return LoadFileText(buffer, N, filePath);
}

// 1 when a file-system entry matches the path (a file or a folder; "*" and "?" match as
// wildcards), 0 otherwise.
int PathExists(const char *path);

// True when the path, with at most one trailing "\" or "/" removed, names an existing folder.
// Paths longer than kMaxDirectoryPathLength bytes are answered false.
constexpr std::size_t kMaxDirectoryPathLength = 1023;
int DirectoryExists(const char *path);
