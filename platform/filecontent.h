#pragma once

#include "platform/fileidentity.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>

// The whole content of a regular file, with the identity it had while it was taken. Small
// files are read into memory. Large ones are mapped, not copied: should the file then shrink
// under the mapping (another program truncating it in place), the pages past its new end read
// as zeros instead of ending the process (and the rest of a page the new end cuts into reads
// as zeros too), and WasTruncated() says so; nothing read from the bytes may then be trusted.
class FileContent
{
public:
    enum class Failure { None, SymbolicLink, NotRegularFile, TooLarge, Io, Changed };

    // Files from this size on are mapped where the system allows.
    static const std::int64_t kMapFrom;

    // Opens path without following a link there and without waiting on a FIFO. Null with
    // *failure and *detail (what was expected, what was found) when the path names no regular
    // file, the file is larger than maxSize, cannot be read, or changed while it was taken.
    static std::shared_ptr<FileContent> Open(const QString &path, std::int64_t maxSize,
                                             Failure *failure, QString *detail);

    ~FileContent();
    FileContent(const FileContent &) = delete;
    FileContent &operator=(const FileContent &) = delete;

    // Valid while this object lives; copies of it share the same bytes.
    const QByteArray &Bytes() const { return m_bytes; }
    const FileIdentity &Identity() const { return m_identity; }
    bool IsMapped() const { return m_mapping != nullptr; }
    bool WasTruncated() const;

    // Lets the system take back the memory of the mapped pages that lie wholly in
    // [begin, begin + size): bytes read there are read from the file again, so a large file
    // need not stay resident once it has been worked through. Nothing for bytes that are
    // not mapped from this file.
    void ReleaseResident(const char *begin, std::int64_t size) const;

private:
    FileContent() = default;

    QByteArray m_bytes;
    FileIdentity m_identity;
    void *m_mapping = nullptr;
    std::int64_t m_mappedSize = 0;
    int m_guardSlot = -1;
    // The mapped file, still open: its size tells a shortening that no read has met yet.
    int m_descriptor = -1;
};
