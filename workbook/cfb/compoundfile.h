#pragma once

#include "workbook/cfb/streambytes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

namespace workbook::cfb
{

// A compound file (versions 3 and 4) read from memory: its directory and the content of its
// streams. Sector ids are checked against the file, chains for loops and for their length
// against the stream size. A file whose last sector is short is read as far as its streams
// need.
class CompoundFile
{
public:
    enum class EntryType { Empty = 0, Storage = 1, Stream = 2, Root = 5 };
    struct Entry {
        QString name;
        EntryType type = EntryType::Empty;
        quint32 left = 0xFFFFFFFF;
        quint32 right = 0xFFFFFFFF;
        quint32 child = 0xFFFFFFFF;
        quint32 start = 0;
        quint64 size = 0;
    };

    static std::unique_ptr<CompoundFile> open(const QByteArray &bytes, QString *reason);

    int version() const { return m_version; }
    // Names of the streams and storages directly in the root storage, in directory order.
    QStringList rootNames() const;
    // The root storage's child of that name (case ignored, as the format compares), or -1.
    int findRootEntry(const QString &name) const;
    const Entry &entry(int index) const { return m_entries[index]; }
    // A copy of the stream's content.
    bool readStream(int index, QByteArray *out, QString *reason) const;
    // The same without a copy: the runs of the stream's sectors as views of the bytes the file
    // was opened from (valid while they are), or, for a small stream kept in the mini stream,
    // a copy in one piece.
    bool readStreamBytes(int index, StreamBytes *out, QString *reason) const;

    // The layout as read, for writing the file back in place.
    int entryCount() const { return m_entries.size(); }
    int sectorShift() const { return m_sectorShift; }
    // Whole or partial sectors after the header.
    qint64 sectorsInFile() const { return m_sectorsInFile; }
    const QVector<quint32> &fat() const { return m_fat; }
    const QVector<quint32> &fatSectors() const { return m_fatSectors; }
    const QVector<quint32> &difatSectors() const { return m_difatSectors; }
    const QVector<quint32> &directorySectors() const { return m_directorySectors; }
    quint32 firstMiniFatSector() const { return m_firstMiniFatSector; }
    quint32 miniFatSectorCount() const { return m_miniFatSectors; }
    const QVector<quint32> &miniFat() const { return m_miniFat; }
    const QByteArray &miniStream() const { return m_miniStream; }
    // Why the mini stream or its FAT could not be read; empty when they could (or are absent).
    const QString &miniError() const { return m_miniError; }

private:
    CompoundFile() = default;
    bool load(QString *reason);
    bool readFat(QString *reason);
    bool chain(quint32 start, qint64 maxSectors, QVector<quint32> *out, QString *reason) const;
    bool readRegular(quint32 start, quint64 size, QByteArray *out, QString *reason) const;
    bool readRegularPieces(quint32 start, quint64 size, StreamBytes *out, QString *reason) const;
    bool readDirectory(QString *reason);
    bool readMini(quint32 start, quint64 size, QByteArray *out, QString *reason) const;
    qint64 sectorOffset(quint32 sector) const { return (qint64(sector) + 1) << m_sectorShift; }

    QByteArray m_bytes;
    int m_version = 3;
    int m_sectorShift = 9;
    int m_miniSectorShift = 6;
    quint32 m_miniCutoff = 4096;
    quint32 m_firstDirectorySector = 0;
    quint32 m_firstMiniFatSector = 0;
    quint32 m_miniFatSectors = 0;
    qint64 m_sectorsInFile = 0;
    QVector<quint32> m_fat;
    QVector<quint32> m_fatSectors;
    QVector<quint32> m_difatSectors;
    QVector<quint32> m_directorySectors;
    QVector<quint32> m_miniFat;
    QByteArray m_miniStream;
    QString m_miniError; // why the mini stream is unusable, if it is
    QVector<Entry> m_entries;
    QVector<int> m_rootChildren;
};

} // namespace workbook::cfb
