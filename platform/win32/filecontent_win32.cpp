#include "platform/filecontent.h"
#include "platform/win32/win32files.h"

#include <algorithm>
#include <cstdint>

const std::int64_t FileContent::kMapFrom = std::int64_t(1) << 20;

std::shared_ptr<FileContent> FileContent::Open(const QString &path, std::int64_t maxSize,
                                               Failure *failure, QString *detail)
{
    auto fail = [failure, detail](Failure why, const QString &text) {
        *failure = why;
        *detail = text;
        return nullptr;
    };
    // Shared for deleting, so that someone else's save can rename over it while it is read.
    const Win32Handle file(CreateFileW(WideName(path).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr));
    if (!file.isOpen())
        return fail(Failure::Io, SystemErrorText("cannot read the file", GetLastError()));
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info))
        return fail(Failure::NotRegularFile, QStringLiteral("expected a regular file"));
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return fail(Failure::SymbolicLink,
                    QStringLiteral("expected a regular file, found a symbolic link"));
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE) ||
        GetFileType(file.get()) != FILE_TYPE_DISK)
        return fail(Failure::NotRegularFile, QStringLiteral("expected a regular file"));
    const FileIdentity before = IdentityOfInformation(info);
    if (before.size > maxSize)
        return fail(Failure::TooLarge,
                    QStringLiteral("expected a file of at most %1 bytes, found %2 bytes")
                        .arg(qint64(maxSize))
                        .arg(qint64(before.size)));
    std::shared_ptr<FileContent> content(new FileContent);
    if (before.size >= kMapFrom) {
        // While a view is mapped, Windows refuses to shorten the file (ERROR_USER_MAPPED_FILE),
        // so the bytes cannot vanish under it.
        const Win32Handle mapping(
            CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        void *view =
            mapping.isOpen() ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
        if (view) {
            content->m_mapping = view;
            content->m_mappedSize = before.size;
            content->m_bytes =
                QByteArray::fromRawData(static_cast<const char *>(view), int(before.size));
        }
    }
    std::int64_t got = before.size;
    if (!content->m_mapping) {
        // One byte more than the size: a file that grew since it was examined fills it.
        QByteArray bytes(int(before.size) + 1, Qt::Uninitialized);
        got = 0;
        while (got < bytes.size()) {
            DWORD n = 0;
            if (!ReadFile(file.get(), bytes.data() + got, DWORD(bytes.size() - got), &n, nullptr))
                return fail(Failure::Io,
                            SystemErrorText("cannot read the whole file", GetLastError()));
            if (n == 0)
                break;
            got += n;
        }
        bytes.chop(1);
        content->m_bytes = bytes;
    }
    BY_HANDLE_FILE_INFORMATION afterInfo;
    const bool examined = GetFileInformationByHandle(file.get(), &afterInfo) != 0;
    const FileIdentity after = examined ? IdentityOfInformation(afterInfo) : FileIdentity();
    if (!examined || got != before.size || after != before)
        return fail(Failure::Changed,
                    QStringLiteral("while being read: ") +
                        (examined ? before.differenceFrom(after)
                                  : QStringLiteral("it cannot be examined again")));
    content->m_identity = before;
    return content;
}

FileContent::~FileContent()
{
    if (m_mapping)
        UnmapViewOfFile(m_mapping);
}

bool FileContent::WasTruncated() const
{
    return false;
}

void FileContent::ReleaseResident(const char *begin, std::int64_t size) const
{
    if (!m_mapping || size <= 0)
        return;
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(m_mapping);
    const std::uintptr_t end = base + std::uintptr_t(m_bytes.size());
    const std::uintptr_t from = reinterpret_cast<std::uintptr_t>(begin);
    if (from < base || from >= end)
        return;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const std::uintptr_t page = system.dwPageSize;
    const std::uintptr_t first = (from + page - 1) / page * page;
    const std::uintptr_t last = std::min(end, from + std::uintptr_t(size)) / page * page;
    // Unlocking pages that were never locked takes them out of the working set (and fails
    // with ERROR_NOT_LOCKED, the expected answer); a later read brings them back.
    if (last > first)
        VirtualUnlock(reinterpret_cast<void *>(first), SIZE_T(last - first));
}
