#pragma once

#include <QString>
#include <cstdint>

// Which file, in which state: a save replaces a workbook only while its path still names the
// very file that was read, unchanged since. The device and index are the volume and file
// number (st_dev and st_ino on POSIX, the volume serial number and file index on Windows).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    std::int64_t size = -1;
    std::int64_t modifiedSeconds = 0;
    long modifiedNanoseconds = 0;

    bool isKnown() const { return size >= 0; }

    bool operator==(const FileIdentity &o) const
    {
        return device == o.device && index == o.index && size == o.size &&
               modifiedSeconds == o.modifiedSeconds && modifiedNanoseconds == o.modifiedNanoseconds;
    }
    bool operator!=(const FileIdentity &o) const { return !(*this == o); }

    // What differs, for a reason text: "another file", "its size", "its modification time".
    QString differenceFrom(const FileIdentity &o) const
    {
        if (device != o.device || index != o.index)
            return QStringLiteral("another file now has its name");
        if (size != o.size)
            return QStringLiteral("its size went from %1 to %2 bytes")
                .arg(qint64(size))
                .arg(qint64(o.size));
        return QStringLiteral("it was written again");
    }
};

// The identity of the entry path names, without following a link. False when there is no
// such entry; *regular says whether it is a regular file (not a link, folder or device),
// *links how many names the file has.
bool IdentifyFileEntry(const QString &path, FileIdentity *identity, bool *regular,
                       std::uint64_t *links = nullptr);
