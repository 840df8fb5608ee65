#include "platform/lockedfile.h"
#include "platform/win32/win32files.h"

std::unique_ptr<LockedFile> LockedFile::Open(const QString &path, Mode mode, bool wait, bool *busy,
                                             QString *reason)
{
    if (busy)
        *busy = false;
    DWORD access = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    if (mode == Mode::CreateNew) {
        access = FILE_APPEND_DATA;
        disposition = CREATE_NEW;
    } else if (mode == Mode::AppendExisting) {
        access = FILE_APPEND_DATA;
    }
    const HANDLE file = CreateFileW(WideName(path).c_str(), access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (reason)
            *reason = SystemErrorText("cannot open", GetLastError());
        return nullptr;
    }
    OVERLAPPED whole = {};
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    // A byte far beyond any manifest's end stands for the file, so that appending is never
    // hindered by the lock itself.
    whole.Offset = MAXDWORD;
    whole.OffsetHigh = 0x7fffffff;
    if (!LockFileEx(file, flags, 0, 1, 0, &whole) && !wait) {
        CloseHandle(file);
        if (busy)
            *busy = true;
        return nullptr;
    }
    return std::unique_ptr<LockedFile>(new LockedFile(reinterpret_cast<std::intptr_t>(file)));
}

LockedFile::~LockedFile()
{
    CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

bool LockedFile::Append(const QByteArray &line)
{
    const char *data = line.constData();
    qint64 left = line.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(m_handle), data, DWORD(left), &written, nullptr) ||
            written == 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

LinkOutcome LinkFile(const QString &existing, const QString &link)
{
    if (CreateHardLinkW(WideName(link).c_str(), WideName(existing).c_str(), nullptr))
        return LinkOutcome::Linked;
    return GetLastError() == ERROR_NOT_SAME_DEVICE ? LinkOutcome::OtherFileSystem
                                                   : LinkOutcome::Failed;
}
