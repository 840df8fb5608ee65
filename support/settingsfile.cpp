#include "support/settingsfile.h"

#include "support/fileroutines.h"
#include "support/textsplice.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

std::string KeyMarker(const char *key)
{
    return std::string(key) + "=";
}

// A write goes to the file a link points at, so the link stays a link and its target gets the
// value. Relative targets are taken from the link's own folder; a loop ends after 40 steps.
std::filesystem::path WriteTarget(const char *filePath)
{
    std::filesystem::path path(filePath);
    for (int step = 0; step < 40; ++step) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error)))
            break;
        const std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (error)
            break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

// A file without any write permission was made read-only on purpose: even a user who could
// replace it (root, or the owner of the folder) leaves it alone.
bool IsReadOnly(const std::filesystem::path &path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status))
        return false;
    using std::filesystem::perms;
    if ((status.permissions() & (perms::owner_write | perms::group_write | perms::others_write)) ==
        perms::none)
        return true;
    std::FILE *probe = std::fopen(path.string().c_str(), "r+b");
    if (!probe)
        return true;
    std::fclose(probe);
    return false;
}

bool WriteWhole(const std::string &path, const char *bytes, std::size_t length)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes, 1, length, file) == length;
    return std::fclose(file) == 0 && written;
}

// Writes the bytes to a temporary file beside the target and renames it over the target, so a
// failed write never leaves a half-written settings file. Where the folder refuses new entries
// but the file itself is writable, the file is written in place instead.
int ReplaceFileContent(const char *filePath, const char *bytes, std::size_t length)
{
    const std::filesystem::path target = WriteTarget(filePath);
    if (IsReadOnly(target))
        return -1;
    const std::string targetName = target.string();
    const std::string temporary = targetName + ".tmp";
    errno = 0;
    std::FILE *file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        const bool folderClosed = errno == EACCES || errno == EPERM || errno == EROFS;
        std::error_code error;
        if (folderClosed && std::filesystem::is_regular_file(target, error))
            return WriteWhole(targetName, bytes, length) ? 0 : -1;
        return -1;
    }
    const bool written = std::fwrite(bytes, 1, length, file) == length;
    const bool closed = std::fclose(file) == 0;
    // The replacement keeps the permission bits the user gave the old file.
    std::error_code error;
    const auto status = std::filesystem::status(target, error);
    if (!error && std::filesystem::exists(status))
        std::filesystem::permissions(temporary, status.permissions(), error);
    if (!written || !closed || std::rename(temporary.c_str(), targetName.c_str()) != 0) {
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
    // The first save in the user's configuration folder creates that folder.
    const std::filesystem::path folder = std::filesystem::path(filePath).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::exists(folder, error))
        std::filesystem::create_directories(folder, error);
    return ReplaceFileContent(filePath, text, std::strlen(text));
}

int SetKeyValueInFileAndText(const char *filePath, char *text, std::size_t textSize,
                             const char *key, const char *value)
{
    SetKeyValue(text, textSize, text, key, value);
    return SetKeyValueInFile(filePath, key, value);
}
