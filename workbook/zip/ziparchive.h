#pragma once

#include "workbook/zip/deflatedbytes.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

struct zip;
struct zip_source;

namespace workbook::zip
{

// A zip archive held in memory, read through libzip. Entry contents are inflated on demand
// within the limits against zip bombs; a new archive is written entry by entry, copying
// unchanged entries as their compressed bytes.
class ZipArchive
{
public:
    struct EntryInfo {
        QString name;
        qint64 size = 0;
        qint64 compressedSize = 0;
        int method = 0;
        bool encrypted = false;
        qint64 mtime = 0;
        quint32 crc = 0;
        // Where the stored bytes start in the archive, or -1 when libzip must fetch them.
        qint64 dataOffset = -1;
        // The name as stored and whether it was flagged UTF-8, when the central directory
        // could be read here; a copied entry is written under exactly these bytes.
        QByteArray storedName;
        bool storedNameUtf8 = false;
    };

    // One entry of an archive being written: a raw copy of entry sourceIndex of this archive,
    // or (sourceIndex < 0) the given deflated content, written as it is.
    struct OutputEntry {
        int sourceIndex = -1;
        QString name;
        DeflatedBytes deflated;
    };

    static std::unique_ptr<ZipArchive> open(const QByteArray &bytes, QString *reason);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    int entryCount() const { return int(m_entries.size()); }
    const EntryInfo &entry(int index) const { return m_entries[size_t(index)]; }

    bool read(int index, QByteArray *out, QString *reason) const;
    // Whether the entry is within the limits against zip bombs (read() checks it too).
    bool withinLimits(int index, QString *reason) const;

    bool write(const std::vector<OutputEntry> &entries, QByteArray *out, QString *reason) const;

private:
    ZipArchive() = default;
    void locateStoredData();
    bool inflateRaw(int index, QByteArray *out, QString *why) const;
    bool readThroughLibzip(int index, QByteArray *out, QString *why) const;

    QByteArray m_bytes;
    ::zip *m_zip = nullptr;
    std::vector<EntryInfo> m_entries;
    // An entry name holding a NUL byte cannot be passed to libzip again: such a package is
    // read, but not written.
    QString m_unwritableName;
    QByteArray m_comment;
};

} // namespace workbook::zip
