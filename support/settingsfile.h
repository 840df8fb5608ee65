#pragma once

#include <cstddef>

// The key=value settings text: one "key=value\r\n" line per key, found by plain substring
// search (first match wins, not anchored to line starts). All strings are NUL-terminated
// local 8-bit byte strings.

constexpr std::size_t kSettingsTextSize = 10240;     // the in-memory settings text, NUL included
constexpr std::size_t kSettingsValueSize = 1024;     // a value buffer, NUL included
constexpr std::size_t kMaxSettingsLineLength = 2042; // key plus value of one written line

// The key's value without surrounding blanks, or the empty string when the key is missing, when
// no "\r\n" follows it, or when the value does not fit the buffer.
void GetKeyValue(char *value, std::size_t valueSize, const char *text, const char *key);

// Writes the text with the key set into result, which may be the text itself. Returns 0, or -1
// when key plus value exceed kMaxSettingsLineLength or the result does not fit resultSize; then
// a result buffer that is the text keeps the text unchanged, any other becomes empty.
int SetKeyValue(char *result, std::size_t resultSize, const char *text, const char *key,
                const char *value);

// Reads the file, sets the key and writes it back. 0 on success; -1 when the file cannot be
// read (nothing is written, no file is created) or cannot be rewritten (the file keeps its old
// content: the new one goes to a temporary file that is renamed over it). A symbolic link is
// written through to its target; a file without write permission is left alone (-1); in a
// folder that refuses new entries a writable file is rewritten in place.
int SetKeyValueInFile(const char *filePath, const char *key, const char *value);

// Replaces the file's whole content with the text, creating it (and its folder) when missing.
// Returns 0, or -1 when it cannot be written, in which case the old file is kept. Links,
// read-only files and closed folders as for SetKeyValueInFile.
int SaveSettingsText(const char *filePath, const char *text);

// Saves one key both ways, so the file and the in-memory text never disagree: a later
// SaveSettingsText of the text keeps this value, and the file gets it at once when it exists.
// Returns the result of SetKeyValueInFile.
int SetKeyValueInFileAndText(const char *filePath, char *text, std::size_t textSize,
                             const char *key, const char *value);

template <std::size_t N> void GetKeyValue(char (&value)[N], const char *text, const char *key)
{
    GetKeyValue(value, N, text, key);
}

template <std::size_t N>
int SetKeyValue(char (&result)[N], const char *text, const char *key, const char *value)
{
    return SetKeyValue(result, N, text, key, value);
}

template <std::size_t N>
int SetKeyValueInFileAndText(const char *filePath, char (&text)[N], const char *key,
                             const char *value)
{
    return SetKeyValueInFileAndText(filePath, text, N, key, value);
}
