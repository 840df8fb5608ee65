#include "support/settingsfile.h"

#include "support/fileroutines.h"
#include "support/textsplice.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string KeyMarker(const char *key) { return std::string(key) + "="; }

// Writes the bytes to a temporary file beside the target and renames it over the target, so a
// failed write never leaves a half-written settings file.
int ReplaceFileContent(const char *filePath, const char *bytes, std::size_t length)
{
    const std::string temporary = std::string(filePath) + ".tmp";
    std::FILE *file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return -1;
    const bool written = std::fwrite(bytes, 1, length, file) == length;
    const bool closed = std::fclose(file) == 0;
    // The replacement keeps the permission bits the user gave the old file.
    std::error_code error;
    const auto status = std::filesystem::status(filePath, error);
    if (!error && std::filesystem::exists(status))
        std::filesystem::permissions(temporary, status.permissions(), error);
    if (!written || !closed || std::rename(temporary.c_str(), filePath) != 0) {
        std::remove(temporary.c_str());
        return -1;
    }
    return 0;
}

// The new text, or false when the line is too long. Built as the marker routines define it.
bool BuildSetText(std::string &out, const char *text, const char *key, const char *value)
{
    const std::size_t keyLength = std::strlen(key);
    const std::size_t valueLength = std::strlen(value);
    if (keyLength + valueLength > kMaxSettingsLineLength)
        return false;
    const std::string marker = KeyMarker(key);
    const std::string newLine = marker + value + "\r\n";
    const std::size_t scratchSize = std::strlen(text) + 2048;
    std::vector<char> before(scratchSize), afterKey(scratchSize), afterLine(scratchSize);

    if (TextBeforeMarker(before.data(), scratchSize, text, marker.c_str(), false, false) == 1) {
        TextAfterMarker(afterKey.data(), scratchSize, text, marker.c_str(), false, false);
        TextAfterMarker(afterLine.data(), scratchSize, afterKey.data(), "\r\n", false, false);
        out = std::string(before.data()) + newLine + afterLine.data();
        return true;
    }
    out = text;
    if (!out.empty() && out.back() != '\n')
        out += "\r\n";
    out += newLine;
    return true;
}

} // namespace

void GetKeyValue(char *value, std::size_t valueSize, const char *text, const char *key)
{
    if (!value || valueSize == 0)
        return;
    value[0] = '\0';
    if (!text || !key)
        return;
    const std::string marker = KeyMarker(key);
    // The raw value may carry blanks that trimming removes, so take it in a buffer as large as
    // the text before checking that the trimmed value fits.
    std::vector<char> raw(std::strlen(text) + 1);
    TextBetweenMarkers(raw.data(), raw.size(), text, marker.c_str(), "\r\n", false, false, false,
                       false);
    TrimLeadingBlanks(raw.data());
    TrimTrailingBlanks(raw.data());
    const std::size_t length = std::strlen(raw.data());
    if (length < valueSize)
        std::memcpy(value, raw.data(), length + 1);
}

int SetKeyValue(char *result, std::size_t resultSize, const char *text, const char *key,
                const char *value)
{
    if (!result || resultSize == 0 || !text || !key || !value)
        return -1;
    std::string updated;
    if (!BuildSetText(updated, text, key, value) || updated.size() >= resultSize) {
        if (result != text)
            result[0] = '\0';
        return -1;
    }
    std::memcpy(result, updated.c_str(), updated.size() + 1);
    return 0;
}

int SetKeyValueInFile(const char *filePath, const char *key, const char *value)
{
    if (!filePath || !key || !value)
        return -1;
    std::FILE *file = std::fopen(filePath, "rb");
    if (!file)
        return -1;
    const long length = GetFileLength(file);
    if (length < 0) {
        std::fclose(file);
        return -1;
    }
    std::vector<char> content(static_cast<std::size_t>(length) + 1, '\0');
    const std::size_t got = std::fread(content.data(), 1, static_cast<std::size_t>(length), file);
    std::fclose(file);
    content[got] = '\0';

    std::string updated;
    if (!BuildSetText(updated, content.data(), key, value))
        return -1;
    return ReplaceFileContent(filePath, updated.data(), updated.size());
}

int SaveSettingsText(const char *filePath, const char *text)
{
    if (!filePath || !text)
        return -1;
    return ReplaceFileContent(filePath, text, std::strlen(text));
}

int SetKeyValueInFileAndText(const char *filePath, char *text, std::size_t textSize,
                             const char *key, const char *value)
{
    SetKeyValue(text, textSize, text, key, value);
    return SetKeyValueInFile(filePath, key, value);
}
