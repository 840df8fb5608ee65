#include "workbook/cfb/compoundfile.h"

#include "workbook/cfb/bytecursor.h"
#include "workbook/limits.h"

#include <cstring>
#include <vector>

namespace workbook::cfb
{

namespace
{

constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFreeSector = 0xFFFFFFFF;
constexpr quint32 kNoStream = 0xFFFFFFFF;
constexpr int kHeaderDifatEntries = 109;
constexpr int kDirectoryEntrySize = 128;

void setReason(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
}

QString hex(quint32 v)
{
    return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0'));
}

} // namespace

std::unique_ptr<CompoundFile> CompoundFile::open(const QByteArray &bytes, QString *reason)
{
    std::unique_ptr<CompoundFile> file(new CompoundFile);
    file->m_bytes = bytes;
    QString why;
    if (!file->load(&why)) {
        setReason(reason, QStringLiteral("compound file: %1").arg(why));
        return nullptr;
    }
    return file;
}

bool CompoundFile::load(QString *reason)
{
    ByteCursor header(m_bytes, 0, 512);
    if (!header.ok()) {
        setReason(
            reason,
            QStringLiteral("expected a header of 512 bytes, found %1 bytes").arg(m_bytes.size()));
        return false;
    }
    if (header.u64() != Q_UINT64_C(0xE11AB1A1E011CFD0)) {
        setReason(reason, QStringLiteral("expected the compound-file signature"));
        return false;
    }
    header.seek(26);
    const quint16 major = header.u16();
    const quint16 byteOrder = header.u16();
    const quint16 sectorShift = header.u16();
    const quint16 miniShift = header.u16();
    if (byteOrder != 0xFFFE) {
        setReason(reason, QStringLiteral("expected byte order mark fffe, found %1")
                              .arg(byteOrder, 4, 16, QLatin1Char('0')));
        return false;
    }
    if (!((major == 3 && sectorShift == 9) || (major == 4 && sectorShift == 12))) {
        setReason(reason,
                  QStringLiteral("expected version 3 with 512-byte sectors or version 4 with "
                                 "4096-byte sectors, found version %1 with sector shift %2")
                      .arg(major)
                      .arg(sectorShift));
        return false;
    }
    if (miniShift != 6) {
        setReason(reason, QStringLiteral("expected mini sector shift 6, found %1").arg(miniShift));
        return false;
    }
    m_version = major;
    m_sectorShift = sectorShift;
    m_miniSectorShift = miniShift;
    const qint64 sectorSize = qint64(1) << m_sectorShift;
    m_sectorsInFile = (qint64(m_bytes.size()) - sectorSize + sectorSize - 1) / sectorSize;
    if (m_sectorsInFile < 0)
        m_sectorsInFile = 0;
    header.seek(48);
    m_firstDirectorySector = header.u32();
    header.seek(56);
    m_miniCutoff = header.u32();
    m_firstMiniFatSector = header.u32();
    m_miniFatSectors = header.u32();
    if (m_miniCutoff != 4096) {
        setReason(
            reason,
            QStringLiteral("expected a mini stream cutoff of 4096, found %1").arg(m_miniCutoff));
        return false;
    }
    if (!readFat(reason) || !readDirectory(reason))
        return false;

    const Entry &root = m_entries[0];
    if (root.size > 0) {
        QString why;
        QByteArray miniFat;
        const qint64 miniFatBytes = qMin<qint64>(m_miniFatSectors, m_sectorsInFile) * sectorSize;
        if (!readRegular(root.start, root.size, &m_miniStream, &why)) {
            m_miniError = QStringLiteral("mini stream: %1").arg(why);
        } else if (m_firstMiniFatSector == kEndOfChain || miniFatBytes == 0) {
            m_miniError = QStringLiteral("expected a mini FAT for the mini stream, found none");
        } else if (!readRegular(m_firstMiniFatSector, quint64(miniFatBytes), &miniFat, &why)) {
            m_miniError = QStringLiteral("mini FAT: %1").arg(why);
        } else {
            ByteCursor c(miniFat);
            m_miniFat.reserve(int(miniFat.size() / 4));
            while (c.remaining() >= 4)
                m_miniFat.append(c.u32());
        }
    }
    return true;
}

bool CompoundFile::readFat(QString *reason)
{
    ByteCursor header(m_bytes, 0, 512);
    header.seek(44);
    const quint32 fatSectors = header.u32();
    header.seek(68);
    quint32 difatSector = header.u32();
    if (qint64(fatSectors) > m_sectorsInFile) {
        setReason(reason, QStringLiteral("expected at most %1 FAT sectors in a file of %2 bytes, "
                                         "found %3")
                              .arg(m_sectorsInFile)
                              .arg(m_bytes.size())
                              .arg(fatSectors));
        return false;
    }
    std::vector<quint32> fatIds;
    fatIds.reserve(fatSectors);
    header.seek(76);
    for (int i = 0; i < kHeaderDifatEntries && fatIds.size() < fatSectors; ++i)
        fatIds.push_back(header.u32());
    const qint64 sectorSize = qint64(1) << m_sectorShift;
    const int perDifat = int(sectorSize / 4) - 1;
    std::vector<bool> seenDifat;
    while (fatIds.size() < fatSectors) {
        if (difatSector == kEndOfChain || difatSector == kFreeSector ||
            qint64(difatSector) >= m_sectorsInFile) {
            setReason(reason, QStringLiteral("expected %1 FAT sectors, the DIFAT names %2 (next "
                                             "DIFAT sector %3)")
                                  .arg(fatSectors)
                                  .arg(fatIds.size())
                                  .arg(hex(difatSector)));
            return false;
        }
        if (seenDifat.empty())
            seenDifat.resize(size_t(m_sectorsInFile), false);
        if (seenDifat[difatSector]) {
            setReason(reason,
                      QStringLiteral("the DIFAT chain loops at sector %1").arg(difatSector));
            return false;
        }
        seenDifat[difatSector] = true;
        m_difatSectors.append(difatSector);
        ByteCursor d(m_bytes, sectorOffset(difatSector), sectorSize);
        for (int i = 0; i < perDifat && fatIds.size() < fatSectors; ++i)
            fatIds.push_back(d.u32());
        d.seek(sectorSize - 4);
        difatSector = d.u32();
        if (!d.ok()) {
            setReason(
                reason,
                QStringLiteral("DIFAT sector %1 lies beyond the end of the file").arg(difatSector));
            return false;
        }
    }
    m_fat.reserve(int(qint64(fatSectors) * (sectorSize / 4)));
    for (quint32 id : fatIds) {
        if (qint64(id) >= m_sectorsInFile) {
            setReason(reason, QStringLiteral("expected a FAT sector inside the file (fewer than "
                                             "%1), found sector id %2")
                                  .arg(m_sectorsInFile)
                                  .arg(hex(id)));
            return false;
        }
        // The last sector of a truncated file may be short: what is missing reads as free.
        ByteCursor s(m_bytes, sectorOffset(id), sectorSize);
        for (qint64 i = 0; i < sectorSize / 4; ++i)
            m_fat.append(s.remaining() >= 4 ? s.u32() : kFreeSector);
        m_fatSectors.append(id);
    }
    return true;
}

bool CompoundFile::chain(quint32 start, qint64 maxSectors, QVector<quint32> *out,
                         QString *reason) const
{
    out->clear();
    std::vector<bool> seen;
    quint32 sector = start;
    while (sector != kEndOfChain && out->size() < maxSectors) {
        if (qint64(sector) >= m_fat.size() || qint64(sector) >= m_sectorsInFile) {
            setReason(reason, QStringLiteral("expected a sector id inside the file (fewer than "
                                             "%1), found %2")
                                  .arg(qMin<qint64>(m_fat.size(), m_sectorsInFile))
                                  .arg(hex(sector)));
            return false;
        }
        if (seen.empty())
            seen.resize(size_t(m_fat.size()), false);
        if (seen[sector]) {
            setReason(reason, QStringLiteral("the sector chain from %1 loops at sector %2")
                                  .arg(start)
                                  .arg(sector));
            return false;
        }
        seen[sector] = true;
        out->append(sector);
        sector = m_fat[int(sector)];
    }
    return true;
}

bool CompoundFile::readRegular(quint32 start, quint64 size, QByteArray *out, QString *reason) const
{
    StreamBytes pieces;
    if (!readRegularPieces(start, size, &pieces, reason))
        return false;
    *out = pieces.joined();
    // A copy of its own, even of one piece: the caller may keep it past this file's bytes.
    out->detach();
    return true;
}

bool CompoundFile::readRegularPieces(quint32 start, quint64 size, StreamBytes *out,
                                     QString *reason) const
{
    *out = StreamBytes();
    if (size > quint64(m_bytes.size())) {
        setReason(reason, QStringLiteral("expected a stream of at most the file's %1 bytes, "
                                         "found a size of %2")
                              .arg(m_bytes.size())
                              .arg(size));
        return false;
    }
    const qint64 sectorSize = qint64(1) << m_sectorShift;
    const qint64 needed = (qint64(size) + sectorSize - 1) / sectorSize;
    if (needed > limits::kMaxSectorChain) {
        setReason(reason, QStringLiteral("expected a chain of at most %1 sectors, found a stream "
                                         "needing %2")
                              .arg(limits::kMaxSectorChain)
                              .arg(needed));
        return false;
    }
    QVector<quint32> sectors;
    if (!chain(start, needed, &sectors, reason))
        return false;
    if (sectors.size() < needed) {
        setReason(reason, QStringLiteral("expected a chain of %1 sectors for %2 bytes, found %3")
                              .arg(needed)
                              .arg(size)
                              .arg(sectors.size()));
        return false;
    }
    // Each run of consecutive sectors is one piece.
    qint64 done = 0;
    int i = 0;
    while (i < sectors.size()) {
        const qint64 runStart = sectorOffset(sectors[i]);
        qint64 run = 0;
        int j = i;
        do {
            const qint64 take = qMin(qint64(size) - done - run, sectorSize);
            if (sectorOffset(sectors[j]) + take > m_bytes.size()) {
                setReason(reason,
                          QStringLiteral("sector %1 ends beyond the end of the file (%2 bytes)")
                              .arg(sectors[j])
                              .arg(m_bytes.size()));
                *out = StreamBytes();
                return false;
            }
            run += take;
            ++j;
        } while (j < sectors.size() && sectors[j] == sectors[j - 1] + 1);
        out->append(m_bytes, runStart, run);
        done += run;
        i = j;
    }
    return true;
}

bool CompoundFile::readDirectory(QString *reason)
{
    const qint64 sectorSize = qint64(1) << m_sectorShift;
    const qint64 maxSectors = limits::kMaxDirectoryEntries * kDirectoryEntrySize / sectorSize;
    QVector<quint32> sectors;
    QString why;
    if (!chain(m_firstDirectorySector, maxSectors + 1, &sectors, &why)) {
        setReason(reason, QStringLiteral("directory: %1").arg(why));
        return false;
    }
    if (sectors.size() > maxSectors) {
        setReason(reason, QStringLiteral("expected a directory of at most %1 entries, found more")
                              .arg(limits::kMaxDirectoryEntries));
        return false;
    }
    m_directorySectors = sectors;
    for (quint32 s : sectors) {
        ByteCursor sector(m_bytes, sectorOffset(s), sectorSize);
        while (sector.remaining() >= kDirectoryEntrySize) {
            ByteCursor e = sector.take(kDirectoryEntrySize);
            Entry entry;
            ByteCursor nameBytes = e.take(64);
            const quint16 nameLength = e.u16();
            entry.type = EntryType(e.u8());
            e.skip(1);
            entry.left = e.u32();
            entry.right = e.u32();
            entry.child = e.u32();
            e.seek(116);
            entry.start = e.u32();
            entry.size = e.u64();
            if (m_version == 3)
                entry.size &= 0xFFFFFFFFu;
            const int chars = qBound(0, int(nameLength) / 2 - 1, 31);
            entry.name = nameBytes.utf16(chars);
            m_entries.append(entry);
        }
    }
    if (m_entries.isEmpty() || m_entries[0].type != EntryType::Root) {
        setReason(reason, QStringLiteral("expected the root storage as the first directory entry"));
        return false;
    }
    // The root's children form a tree through left and right siblings.
    std::vector<bool> seen(size_t(m_entries.size()), false);
    QVector<quint32> pending{m_entries[0].child};
    while (!pending.isEmpty()) {
        const quint32 id = pending.takeLast();
        if (id == kNoStream)
            continue;
        if (qint64(id) >= m_entries.size() || id == 0) {
            setReason(reason, QStringLiteral("expected a directory entry id below %1, found %2")
                                  .arg(m_entries.size())
                                  .arg(hex(id)));
            return false;
        }
        if (seen[id]) {
            setReason(reason, QStringLiteral("the directory tree reaches entry %1 twice").arg(id));
            return false;
        }
        seen[id] = true;
        m_rootChildren.append(int(id));
        pending.append(m_entries[int(id)].right);
        pending.append(m_entries[int(id)].left);
    }
    return true;
}

QStringList CompoundFile::rootNames() const
{
    QStringList names;
    for (int i : m_rootChildren)
        names.append(m_entries[i].name);
    return names;
}

int CompoundFile::findRootEntry(const QString &name) const
{
    for (int i : m_rootChildren) {
        const Entry &e = m_entries[i];
        if ((e.type == EntryType::Stream || e.type == EntryType::Storage) &&
            e.name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool CompoundFile::readStream(int index, QByteArray *out, QString *reason) const
{
    StreamBytes pieces;
    if (!readStreamBytes(index, &pieces, reason))
        return false;
    *out = pieces.joined();
    // A copy of its own, even of one piece lying in the file.
    out->detach();
    return true;
}

bool CompoundFile::readStreamBytes(int index, StreamBytes *out, QString *reason) const
{
    *out = StreamBytes();
    const Entry &e = m_entries[index];
    if (e.type != EntryType::Stream) {
        setReason(reason, QStringLiteral("expected '%1' to be a stream").arg(e.name));
        return false;
    }
    QString why;
    bool ok;
    if (e.size < m_miniCutoff) {
        QByteArray content;
        ok = readMini(e.start, e.size, &content, &why);
        *out = StreamBytes(content);
    } else {
        ok = readRegularPieces(e.start, e.size, out, &why);
    }
    if (!ok)
        setReason(reason, QStringLiteral("stream '%1': %2").arg(e.name, why));
    return ok;
}

bool CompoundFile::readMini(quint32 start, quint64 size, QByteArray *out, QString *reason) const
{
    out->clear();
    if (size == 0)
        return true;
    if (!m_miniError.isEmpty()) {
        setReason(reason, m_miniError);
        return false;
    }
    const qint64 miniSize = qint64(1) << m_miniSectorShift;
    qint64 left = qint64(size);
    quint32 sector = start;
    std::vector<bool> seen(size_t(m_miniFat.size()), false);
    while (left > 0) {
        if (qint64(sector) >= m_miniFat.size()) {
            setReason(reason, QStringLiteral("expected a mini sector id below %1, found %2")
                                  .arg(m_miniFat.size())
                                  .arg(hex(sector)));
            return false;
        }
        if (seen[sector]) {
            setReason(reason, QStringLiteral("the mini sector chain loops at %1").arg(sector));
            return false;
        }
        seen[sector] = true;
        const qint64 take = qMin(left, miniSize);
        ByteCursor c(m_miniStream, qint64(sector) * miniSize, take);
        if (!c.ok()) {
            setReason(reason,
                      QStringLiteral("mini sector %1 lies beyond the mini stream").arg(sector));
            return false;
        }
        out->append(m_miniStream.constData() + qint64(sector) * miniSize, int(take));
        left -= take;
        sector = m_miniFat[int(sector)];
    }
    return true;
}

} // namespace workbook::cfb
