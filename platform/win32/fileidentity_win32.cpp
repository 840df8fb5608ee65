#include "platform/fileidentity.h"
#include "platform/win32/win32files.h"

bool IdentifyFileEntry(const QString &path, FileIdentity *identity, bool *regular,
                       std::uint64_t *links)
{
    const Win32Handle entry(OpenEntry(path, FILE_READ_ATTRIBUTES));
    BY_HANDLE_FILE_INFORMATION info;
    if (!entry.isOpen() || !GetFileInformationByHandle(entry.get(), &info))
        return false;
    if (identity)
        *identity = IdentityOfInformation(info);
    if (regular)
        *regular =
            (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                      FILE_ATTRIBUTE_DEVICE)) == 0;
    if (links)
        *links = info.nNumberOfLinks;
    return true;
}
