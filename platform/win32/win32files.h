#pragma once

// Shared by the Win32 file services: names as UTF-16, identities, error texts.

#include "platform/fileidentity.h"

#include <QDir>
#include <QString>
#include <string>
#include <windows.h>

inline std::wstring WideName(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

inline FileIdentity IdentityOfInformation(const BY_HANDLE_FILE_INFORMATION &info)
{
    FileIdentity id;
    id.device = info.dwVolumeSerialNumber;
    id.index = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    id.size = std::int64_t((std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    // 100-nanosecond ticks since 1601.
    const std::uint64_t ticks = (std::uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                info.ftLastWriteTime.dwLowDateTime;
    id.modifiedSeconds = std::int64_t(ticks / 10000000);
    id.modifiedNanoseconds = long(ticks % 10000000) * 100;
    return id;
}

inline QString SystemErrorText(const char *what, DWORD error)
{
    wchar_t *message = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t *>(&message), 0, nullptr);
    QString text = length ? QString::fromWCharArray(message, int(length)).trimmed()
                          : QStringLiteral("error %1").arg(qulonglong(error));
    LocalFree(message);
    return QStringLiteral("%1: %2").arg(QLatin1String(what), text);
}

// Opens the entry path names itself, never what a link or junction there points to. Every
// sharing mode is granted, so that nobody else's open or rename is hindered by ours.
inline HANDLE OpenEntry(const QString &path, DWORD access)
{
    return CreateFileW(
        WideName(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

class Win32Handle
{
public:
    explicit Win32Handle(HANDLE handle) : m_handle(handle) {}
    ~Win32Handle()
    {
        if (isOpen())
            CloseHandle(m_handle);
    }
    Win32Handle(const Win32Handle &) = delete;
    Win32Handle &operator=(const Win32Handle &) = delete;
    bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE get() const { return m_handle; }
    void close() { reset(INVALID_HANDLE_VALUE); }
    void reset(HANDLE handle)
    {
        if (isOpen())
            CloseHandle(m_handle);
        m_handle = handle;
    }

private:
    HANDLE m_handle;
};
