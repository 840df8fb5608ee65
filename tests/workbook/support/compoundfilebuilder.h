#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

// Writes small compound files for tests, laid out plainly so a test can damage one structure
// at a known place: FAT sectors first, then the directory, the mini FAT, the mini stream and
// the regular streams, each chain in consecutive sectors.
class CompoundFileBuilder
{
public:
    struct Layout {
        int sectorSize = 512;
        QVector<quint32> fatSectors;
        quint32 directorySector = 0;
        QMap<QString, quint32> streamStart; // regular streams only
        qint64 endOfData = 0;               // where the last stream's bytes end
    };

    explicit CompoundFileBuilder(int version = 3) : m_version(version) {}
    void addStream(const QString &name, const QByteArray &content)
    {
        m_streams.append({name, content});
    }
    QByteArray build(Layout *layout = nullptr) const;

    // Byte offset of a FAT entry and of a directory entry in a file built with `layout`.
    static qint64 fatEntryOffset(const Layout &layout, quint32 sector);
    static qint64 directoryEntryOffset(const Layout &layout, int entry);
    static void putU32(QByteArray &bytes, qint64 offset, quint32 value);

private:
    int m_version;
    QVector<QPair<QString, QByteArray>> m_streams;
};
