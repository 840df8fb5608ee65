#pragma once

#include <QString>
#include <sys/stat.h>
#include <sys/types.h>

namespace workbook
{

// Which file, in which state: a save replaces a workbook only while its path still names the
// very file that was read, unchanged since.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    time_t modifiedSeconds = 0;
    long modifiedNanoseconds = 0;

    static FileIdentity of(const struct stat &st)
    {
        FileIdentity id;
        id.device = st.st_dev;
        id.inode = st.st_ino;
        id.size = st.st_size;
        id.modifiedSeconds = st.st_mtim.tv_sec;
        id.modifiedNanoseconds = st.st_mtim.tv_nsec;
        return id;
    }

    bool isKnown() const { return size >= 0; }

    bool operator==(const FileIdentity &o) const
    {
        return device == o.device && inode == o.inode && size == o.size &&
               modifiedSeconds == o.modifiedSeconds && modifiedNanoseconds == o.modifiedNanoseconds;
    }
    bool operator!=(const FileIdentity &o) const { return !(*this == o); }

    // What differs, for a reason text: "another file", "its size", "its modification time".
    QString differenceFrom(const FileIdentity &o) const
    {
        if (device != o.device || inode != o.inode)
            return QStringLiteral("another file now has its name");
        if (size != o.size)
            return QStringLiteral("its size went from %1 to %2 bytes")
                .arg(qint64(size))
                .arg(qint64(o.size));
        return QStringLiteral("it was written again");
    }
};

} // namespace workbook
