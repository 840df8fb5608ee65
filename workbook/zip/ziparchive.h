#pragma once

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
    };

    // One entry of an archive being written: a raw copy of entry sourceIndex of this archive,
    // or (sourceIndex < 0) the given content, deflated.
    struct OutputEntry {
        int sourceIndex = -1;
        QString name;
        QByteArray content;
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
    QByteArray m_comment;
};

} // namespace workbook::zip
