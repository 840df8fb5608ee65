#include "workbook/cfb/compoundfilewriter.h"

#include "workbook/cfb/bytewriter.h"
#include "workbook/cfb/compoundfile.h"
#include "workbook/limits.h"

#include <cstring>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

namespace workbook::cfb
{

namespace
{

constexpr quint32 kDifatSector = 0xFFFFFFFC;
constexpr quint32 kFatSector = 0xFFFFFFFD;
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFreeSector = 0xFFFFFFFF;
constexpr quint64 kMiniCutoff = 4096;
constexpr int kMiniSectorSize = 64;
constexpr int kHeaderDifatEntries = 109;
constexpr int kDirectoryEntrySize = 128;

// Who uses a sector, so that nothing rewritten is shared with something kept. Directory
// entries own their chains by index (the root's chain is the mini stream).
constexpr int kUnowned = -1;
constexpr int kOwnerFat = -2;
constexpr int kOwnerDifat = -3;
constexpr int kOwnerDirectory = -4;
constexpr int kOwnerMiniFat = -5;

void setReason(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
}

qint64 sectorsFor(qint64 bytes, qint64 sectorSize)
{
    return (bytes + sectorSize - 1) / sectorSize;
}

bool isMini(quint64 size)
{
    return size > 0 && size < kMiniCutoff;
}

// The new file, sector by sector (the header is slot 0, sector s slot s + 1): each slot is
// a piece of bytes kept elsewhere (the original file, a new stream's content) followed by
// zeros, or a sector of its own when only some fields of it change. Written out in order, it
// is never whole in memory.
class Image
{
public:
    Image(const QByteArray &file, qint64 sectorSize, qint64 slotCount) : m_sectorSize(sectorSize)
    {
        m_pieces.resize(size_t(slotCount));
        for (qint64 i = 0; i < slotCount; ++i) {
            const qint64 at = i * sectorSize;
            const qint64 kept = qBound<qint64>(0, file.size() - at, sectorSize);
            m_pieces[size_t(i)] = {kept > 0 ? file.constData() + at : nullptr, kept, -1};
        }
    }

    // The slot holds size bytes of data (still valid when written out), then zeros.
    void fill(qint64 slot, const char *data, qint64 size)
    {
        m_pieces[size_t(slot)] = {size > 0 ? data : nullptr, size, -1};
    }
    void zero(qint64 slot) { fill(slot, nullptr, 0); }
    // The slot's bytes to change in place, made its own first from what it held.
    char *own(qint64 slot)
    {
        Piece &p = m_pieces[size_t(slot)];
        if (p.owned < 0) {
            QByteArray bytes(int(m_sectorSize), '\0');
            if (p.size > 0)
                std::memcpy(bytes.data(), p.data, size_t(p.size));
            p.owned = int(m_owned.size());
            m_owned.push_back(std::move(bytes));
            p.data = m_owned.back().data();
            p.size = m_sectorSize;
        }
        // Held by the deque alone, so the bytes are written where the piece points.
        return m_owned[size_t(p.owned)].data();
    }
    void putU32(qint64 at, quint32 value)
    {
        qToLittleEndian(value, own(at / m_sectorSize) + at % m_sectorSize);
    }

    // Pieces that follow each other in memory go out as one write, and so do runs of zeros.
    bool write(ByteSink &sink) const
    {
        static const char zeros[4096] = {};
        const char *run = nullptr;
        qint64 runSize = 0;
        qint64 zeroRun = 0;
        auto flush = [&] {
            if (runSize > 0 && !sink.Write(run, runSize))
                return false;
            run = nullptr;
            runSize = 0;
            for (; zeroRun > 0; zeroRun -= qMin<qint64>(zeroRun, sizeof zeros)) {
                if (!sink.Write(zeros, qMin<qint64>(zeroRun, sizeof zeros)))
                    return false;
            }
            return true;
        };
        for (const Piece &p : m_pieces) {
            if (p.size > 0) {
                if ((zeroRun > 0 || (run && run + runSize != p.data)) && !flush())
                    return false;
                if (!run)
                    run = p.data;
                runSize += p.size;
            }
            if (p.size < m_sectorSize) {
                if (runSize > 0 && zeroRun == 0 && !flush())
                    return false;
                zeroRun += m_sectorSize - p.size;
            }
        }
        return flush();
    }
    qint64 size() const { return qint64(m_pieces.size()) * m_sectorSize; }

private:
    struct Piece {
        const char *data;
        qint64 size;
        int owned; // index into m_owned, or -1
    };
    const qint64 m_sectorSize;
    std::vector<Piece> m_pieces;
    // A deque keeps every sector where it is while more are added.
    std::deque<QByteArray> m_owned;
};

class Rewrite
{
public:
    Rewrite(const QByteArray &file, const CompoundFile &parsed)
        : m_file(file), m_parsed(parsed), m_sectorSize(qint64(1) << parsed.sectorShift()),
          m_perSector(int(m_sectorSize / 4)), m_originalSectors(parsed.sectorsInFile()),
          m_total(parsed.sectorsInFile()), m_fat(parsed.fat()), m_fatIds(parsed.fatSectors()),
          m_difatIds(parsed.difatSectors())
    {
    }

    bool run(const QVector<CompoundFileWriter::Replacement> &replacements, QString *reason);
    const Image &image() const { return *m_image; }

private:
    struct Stream {
        int entry = -1;
        const QByteArray *content = nullptr;
        QVector<quint32> oldChain; // regular sectors or mini sectors, as the old size says
        QVector<quint32> newChain;
        bool newMini = false;
    };

    QString entryName(int owner) const;
    bool claim(std::vector<int> &owners, quint32 sector, int owner, QString *reason);
    bool rewritten(int owner) const;
    bool walk(quint32 start, qint64 needed, int owner, QVector<quint32> *chain, QString *reason);
    bool walkMini(quint32 start, qint64 needed, int owner, QVector<quint32> *chain,
                  QString *reason);
    bool claimAll(QString *reason);
    bool appendSector(quint32 *id, QString *reason);
    bool fitChain(QVector<quint32> *chain, qint64 needed, QString *reason);
    void fitMiniChain(QVector<quint32> *chain, qint64 needed);
    void writeChain(const QVector<quint32> &chain, const char *data, qint64 size);
    void writeEntry(int entry, quint32 start, quint64 size);
    void writeDifat(int oldFatSectors, int oldDifatSectors);
    qint64 offset(quint32 sector) const { return (qint64(sector) + 1) * m_sectorSize; }

    const QByteArray &m_file;
    const CompoundFile &m_parsed;
    const qint64 m_sectorSize;
    const int m_perSector;
    const qint64 m_originalSectors;
    qint64 m_total;
    QVector<quint32> m_fat;
    QVector<quint32> m_fatIds;
    QVector<quint32> m_difatIds;
    std::vector<int> m_owners;
    int m_conflict = kUnowned; // the other owner of the sector a claim last met
    std::vector<int> m_miniOwners;
    QVector<Stream> m_streams;
    bool m_miniTouched = false;
    QVector<quint32> m_rootChain;
    QVector<quint32> m_miniFatChain;
    QVector<quint32> m_miniFat;
    QByteArray m_mini;
    qint64 m_miniSectors = 0;
    QVector<quint32> m_freed;
    QVector<CompoundFileWriter::Replacement> m_replacements; // what m_streams' contents are
    QByteArray m_miniFatBytes;
    std::unique_ptr<Image> m_image;
};

QString Rewrite::entryName(int owner) const
{
    switch (owner) {
    case kOwnerFat:
        return QStringLiteral("the FAT");
    case kOwnerDifat:
        return QStringLiteral("the DIFAT");
    case kOwnerDirectory:
        return QStringLiteral("the directory");
    case kOwnerMiniFat:
        return QStringLiteral("the mini FAT");
    case 0:
        return QStringLiteral("the mini stream");
    default:
        return QStringLiteral("stream '%1'").arg(m_parsed.entry(owner).name);
    }
}

bool Rewrite::claim(std::vector<int> &owners, quint32 sector, int owner, QString *reason)
{
    int &current = owners[sector];
    m_conflict = current;
    if (current == kUnowned) {
        current = owner;
        return true;
    }
    if (current == owner)
        setReason(
            reason,
            QStringLiteral("the chain of %1 loops at sector %2").arg(entryName(owner)).arg(sector));
    else
        setReason(reason, QStringLiteral("sector %1 belongs to both %2 and %3")
                              .arg(sector)
                              .arg(entryName(current), entryName(owner)));
    return false;
}

bool Rewrite::rewritten(int owner) const
{
    if (owner == kOwnerFat || owner == kOwnerDifat || owner == kOwnerDirectory)
        return true;
    if (owner == kOwnerMiniFat || owner == 0)
        return m_miniTouched;
    for (const Stream &s : m_streams) {
        if (s.entry == owner)
            return true;
    }
    return false;
}

// Follows a chain of regular sectors as the reader does, claiming each sector; false when the
// chain leaves the file, loops, meets another owner's sector or ends short of `needed`.
bool Rewrite::walk(quint32 start, qint64 needed, int owner, QVector<quint32> *chain,
                   QString *reason)
{
    const qint64 bound = qMin<qint64>(m_parsed.fat().size(), m_originalSectors);
    quint32 sector = start;
    qint64 count = 0;
    while (count < needed) {
        if (sector == kEndOfChain || qint64(sector) >= bound) {
            setReason(reason, QStringLiteral("the chain of %1 ends after %2 of its %3 sectors "
                                             "(next sector id 0x%4)")
                                  .arg(entryName(owner))
                                  .arg(count)
                                  .arg(needed)
                                  .arg(sector, 8, 16, QLatin1Char('0')));
            return false;
        }
        if (!claim(m_owners, sector, owner, reason))
            return false;
        if (chain)
            chain->append(sector);
        ++count;
        sector = m_parsed.fat()[int(sector)];
    }
    return true;
}

bool Rewrite::walkMini(quint32 start, qint64 needed, int owner, QVector<quint32> *chain,
                       QString *reason)
{
    const qint64 bound = qint64(m_miniOwners.size());
    quint32 sector = start;
    qint64 count = 0;
    while (count < needed) {
        if (sector == kEndOfChain || qint64(sector) >= bound) {
            setReason(reason, QStringLiteral("the mini chain of %1 ends after %2 of its %3 "
                                             "mini sectors (next mini sector id 0x%4)")
                                  .arg(entryName(owner))
                                  .arg(count)
                                  .arg(needed)
                                  .arg(sector, 8, 16, QLatin1Char('0')));
            return false;
        }
        if (!claim(m_miniOwners, sector, owner, reason))
            return false;
        if (chain)
            chain->append(sector);
        ++count;
        sector = m_parsed.miniFat()[int(sector)];
    }
    return true;
}

// Claims every structure and stream of the file. What is rewritten (the FAT, DIFAT, directory,
// the replaced streams and, when it changes, the mini stream and its FAT) must be readable and
// share no sector with anything else; other streams are only followed as far as they go.
bool Rewrite::claimAll(QString *reason)
{
    m_owners.assign(size_t(m_originalSectors), kUnowned);
    for (quint32 id : m_fatIds) {
        if (!claim(m_owners, id, kOwnerFat, reason))
            return false;
    }
    for (quint32 id : m_difatIds) {
        if (!claim(m_owners, id, kOwnerDifat, reason))
            return false;
    }
    for (quint32 id : m_parsed.directorySectors()) {
        if (!claim(m_owners, id, kOwnerDirectory, reason))
            return false;
    }
    const CompoundFile::Entry &root = m_parsed.entry(0);
    if (m_miniTouched) {
        if (!m_parsed.miniError().isEmpty()) {
            setReason(reason, QStringLiteral("expected a readable mini stream, found: %1")
                                  .arg(m_parsed.miniError()));
            return false;
        }
        if (root.size > 0 && (!walk(m_parsed.firstMiniFatSector(),
                                    qMin<qint64>(m_parsed.miniFatSectorCount(), m_originalSectors),
                                    kOwnerMiniFat, &m_miniFatChain, reason) ||
                              !walk(root.start, sectorsFor(qint64(root.size), m_sectorSize), 0,
                                    &m_rootChain, reason)))
            return false;
    } else if (root.size > 0) {
        // Kept as they are; claimed so that nothing rewritten overlaps them.
        walk(m_parsed.firstMiniFatSector(),
             qMin<qint64>(m_parsed.miniFatSectorCount(), m_originalSectors), kOwnerMiniFat, nullptr,
             nullptr);
        walk(root.start, sectorsFor(qint64(root.size), m_sectorSize), 0, nullptr, nullptr);
    }
    m_miniSectors = m_miniTouched ? sectorsFor(qint64(root.size), kMiniSectorSize) : 0;
    m_miniOwners.assign(size_t(qMin<qint64>(m_miniSectors, m_parsed.miniFat().size())), kUnowned);

    std::vector<bool> replaced(size_t(m_parsed.entryCount()), false);
    for (Stream &s : m_streams) {
        replaced[size_t(s.entry)] = true;
        const CompoundFile::Entry &e = m_parsed.entry(s.entry);
        QString why;
        const bool ok = isMini(e.size)
                            ? walkMini(e.start, sectorsFor(qint64(e.size), kMiniSectorSize),
                                       s.entry, &s.oldChain, &why)
                        : e.size > 0 ? walk(e.start, sectorsFor(qint64(e.size), m_sectorSize),
                                            s.entry, &s.oldChain, &why)
                                     : true;
        if (!ok) {
            setReason(reason, QStringLiteral("cannot replace '%1': %2").arg(e.name, why));
            return false;
        }
    }
    for (int i = 1; i < m_parsed.entryCount(); ++i) {
        const CompoundFile::Entry &e = m_parsed.entry(i);
        if (replaced[size_t(i)] || e.type != CompoundFile::EntryType::Stream || e.size == 0)
            continue;
        QString why;
        const bool ok =
            isMini(e.size)
                ? (!m_miniTouched ||
                   walkMini(e.start, sectorsFor(qint64(e.size), kMiniSectorSize), i, nullptr, &why))
                : walk(e.start, sectorsFor(qint64(e.size), m_sectorSize), i, nullptr, &why);
        // A kept stream that cannot be read stays as it is, unless it runs into what is
        // rewritten.
        if (!ok && m_conflict != i && rewritten(m_conflict)) {
            setReason(reason, QStringLiteral("cannot rewrite the file: %1").arg(why));
            return false;
        }
    }
    return true;
}

// A new sector at the end of the file, with the FAT (and the DIFAT) grown to cover it.
bool Rewrite::appendSector(quint32 *id, QString *reason)
{
    QVector<QPair<quint32, quint32>> marks;
    auto take = [&](quint32 *sector) {
        if ((m_total + 2) * m_sectorSize > limits::kMaxFileSize) {
            setReason(reason, QStringLiteral("expected a file of at most %1 bytes, the new "
                                             "content needs more")
                                  .arg(limits::kMaxFileSize));
            return false;
        }
        *sector = quint32(m_total++);
        return true;
    };
    if (!take(id))
        return false;
    for (;;) {
        quint32 added = 0;
        if (qint64(m_fat.size()) < m_total) {
            if (!take(&added))
                return false;
            m_fatIds.append(added);
            marks.append({added, kFatSector});
            m_fat.insert(m_fat.size(), m_perSector, kFreeSector);
            continue;
        }
        const qint64 difatCapacity =
            kHeaderDifatEntries + qint64(m_difatIds.size()) * (m_perSector - 1);
        if (m_fatIds.size() > difatCapacity) {
            if (!take(&added))
                return false;
            m_difatIds.append(added);
            marks.append({added, kDifatSector});
            continue;
        }
        break;
    }
    // Only now does the FAT reach every sector just taken.
    for (const auto &mark : marks)
        m_fat[int(mark.first)] = mark.second;
    m_fat[int(*id)] = kEndOfChain;
    return true;
}

// Keeps the first sectors of the chain, frees what it no longer needs and adds sectors at the
// end of the file for the rest, then links it.
bool Rewrite::fitChain(QVector<quint32> *chain, qint64 needed, QString *reason)
{
    while (chain->size() > needed) {
        const quint32 s = chain->takeLast();
        m_fat[int(s)] = kFreeSector;
        m_freed.append(s);
    }
    while (chain->size() < needed) {
        quint32 id = 0;
        if (!appendSector(&id, reason))
            return false;
        chain->append(id);
    }
    for (int i = 0; i < chain->size(); ++i)
        m_fat[int(chain->at(i))] = i + 1 < chain->size() ? chain->at(i + 1) : kEndOfChain;
    return true;
}

void Rewrite::fitMiniChain(QVector<quint32> *chain, qint64 needed)
{
    while (chain->size() > needed) {
        const quint32 s = chain->takeLast();
        m_miniFat[int(s)] = kFreeSector;
        // Freed content is not left behind for a reader of the raw file.
        std::memset(m_mini.data() + qint64(s) * kMiniSectorSize, 0, kMiniSectorSize);
    }
    while (chain->size() < needed) {
        const quint32 id = quint32(m_miniSectors++);
        if (m_miniFat.size() <= int(id))
            m_miniFat.insert(m_miniFat.size(), int(id) + 1 - m_miniFat.size(), kFreeSector);
        chain->append(id);
    }
    if (m_mini.size() < m_miniSectors * kMiniSectorSize)
        m_mini.append(QByteArray(int(m_miniSectors * kMiniSectorSize - m_mini.size()), '\0'));
    for (int i = 0; i < chain->size(); ++i)
        m_miniFat[int(chain->at(i))] = i + 1 < chain->size() ? chain->at(i + 1) : kEndOfChain;
}

void Rewrite::writeChain(const QVector<quint32> &chain, const char *data, qint64 size)
{
    qint64 done = 0;
    for (quint32 s : chain) {
        const qint64 take = qMin(size - done, m_sectorSize);
        m_image->fill(qint64(s) + 1, data + done, take);
        done += take;
    }
}

void Rewrite::writeEntry(int entry, quint32 start, quint64 size)
{
    const int perSector = int(m_sectorSize / kDirectoryEntrySize);
    const qint64 at = offset(m_parsed.directorySectors()[entry / perSector]) +
                      qint64(entry % perSector) * kDirectoryEntrySize;
    m_image->putU32(at + 116, start);
    m_image->putU32(at + 120, quint32(size & 0xFFFFFFFFu));
    // Version 3 readers ignore the high half, which some writers leave as garbage: kept.
    if (m_parsed.version() == 4)
        m_image->putU32(at + 124, quint32(size >> 32));
}

// Lists the FAT sectors added to the header's slots and then to DIFAT sectors; what was
// already listed stays as it was.
void Rewrite::writeDifat(int oldFatSectors, int oldDifatSectors)
{
    const int perDifat = m_perSector - 1;
    for (int i = oldDifatSectors; i < m_difatIds.size(); ++i) {
        const qint64 at = offset(m_difatIds[i]);
        std::memset(m_image->own(qint64(m_difatIds[i]) + 1), 0xFF, size_t(m_sectorSize));
        m_image->putU32(at + m_sectorSize - 4,
                        i + 1 < m_difatIds.size() ? m_difatIds[i + 1] : kEndOfChain);
    }
    if (m_difatIds.size() > oldDifatSectors) {
        if (oldDifatSectors == 0)
            m_image->putU32(68, m_difatIds[0]);
        else
            m_image->putU32(offset(m_difatIds[oldDifatSectors - 1]) + m_sectorSize - 4,
                            m_difatIds[oldDifatSectors]);
    }
    for (int k = oldFatSectors; k < m_fatIds.size(); ++k) {
        if (k < kHeaderDifatEntries) {
            m_image->putU32(76 + 4 * k, m_fatIds[k]);
        } else {
            const int slot = k - kHeaderDifatEntries;
            m_image->putU32(offset(m_difatIds[slot / perDifat]) + 4 * (slot % perDifat),
                            m_fatIds[k]);
        }
    }
    m_image->putU32(44, quint32(m_fatIds.size()));
    m_image->putU32(72, quint32(m_difatIds.size()));
}

bool Rewrite::run(const QVector<CompoundFileWriter::Replacement> &replacements, QString *reason)
{
    m_replacements = replacements;
    std::vector<bool> seen(size_t(m_parsed.entryCount()), false);
    for (const CompoundFileWriter::Replacement &r : std::as_const(m_replacements)) {
        if (r.entry <= 0 || r.entry >= m_parsed.entryCount() ||
            m_parsed.entry(r.entry).type != CompoundFile::EntryType::Stream) {
            setReason(
                reason,
                QStringLiteral("expected a stream's directory entry, found entry %1").arg(r.entry));
            return false;
        }
        if (seen[size_t(r.entry)]) {
            setReason(
                reason,
                QStringLiteral("stream '%1' is replaced twice").arg(m_parsed.entry(r.entry).name));
            return false;
        }
        seen[size_t(r.entry)] = true;
        const qint64 sectors = sectorsFor(r.content.size(), m_sectorSize);
        if (sectors > limits::kMaxSectorChain) {
            setReason(reason, QStringLiteral("expected a stream of at most %1 sectors, the new "
                                             "content of '%2' needs %3")
                                  .arg(limits::kMaxSectorChain)
                                  .arg(m_parsed.entry(r.entry).name)
                                  .arg(sectors));
            return false;
        }
        Stream s;
        s.entry = r.entry;
        s.content = &r.content;
        s.newMini = isMini(quint64(r.content.size()));
        m_miniTouched = m_miniTouched || s.newMini || isMini(m_parsed.entry(r.entry).size);
        m_streams.append(s);
    }
    if (!claimAll(reason))
        return false;

    const qint64 oldFatSectors = m_fatIds.size();
    const int oldDifatSectors = m_difatIds.size();
    if (m_miniTouched) {
        m_miniFat = m_parsed.miniFat();
        m_mini = m_parsed.miniStream();
        m_mini.append(QByteArray(int(m_miniSectors * kMiniSectorSize - m_mini.size()), '\0'));
        if (m_miniFat.size() < m_miniSectors)
            m_miniFat.insert(m_miniFat.size(), int(m_miniSectors - m_miniFat.size()), kFreeSector);
    }
    // Each stream first gives back or reuses what it had, in the storage it had it in.
    for (Stream &s : m_streams) {
        const bool oldMini = isMini(m_parsed.entry(s.entry).size);
        const qint64 size = s.content->size();
        if (oldMini) {
            s.newChain = s.oldChain;
            fitMiniChain(&s.newChain, s.newMini ? sectorsFor(size, kMiniSectorSize) : 0);
        } else {
            s.newChain = s.oldChain;
            if (!fitChain(&s.newChain, s.newMini ? 0 : sectorsFor(size, m_sectorSize), reason))
                return false;
        }
    }
    // Then a stream that crossed the cutoff takes new storage on the other side.
    for (Stream &s : m_streams) {
        const bool oldMini = isMini(m_parsed.entry(s.entry).size);
        const qint64 size = s.content->size();
        if (oldMini && !s.newMini && size > 0) {
            if (!fitChain(&s.newChain, sectorsFor(size, m_sectorSize), reason))
                return false;
        } else if (!oldMini && s.newMini) {
            fitMiniChain(&s.newChain, sectorsFor(size, kMiniSectorSize));
        }
    }
    if (m_miniTouched) {
        for (const Stream &s : m_streams) {
            if (!s.newMini)
                continue;
            qint64 done = 0;
            for (quint32 m : s.newChain) {
                const qint64 take = qMin<qint64>(s.content->size() - done, kMiniSectorSize);
                char *to = m_mini.data() + qint64(m) * kMiniSectorSize;
                std::memcpy(to, s.content->constData() + done, size_t(take));
                std::memset(to + take, 0, size_t(kMiniSectorSize - take));
                done += take;
            }
        }
        const qint64 miniFatSectors =
            qMax<qint64>(m_miniFatChain.size(), sectorsFor(m_miniFat.size() * 4, m_sectorSize));
        if (m_miniFat.size() < miniFatSectors * m_perSector)
            m_miniFat.insert(m_miniFat.size(), int(miniFatSectors * m_perSector - m_miniFat.size()),
                             kFreeSector);
        if (sectorsFor(m_mini.size(), m_sectorSize) > limits::kMaxSectorChain ||
            miniFatSectors > limits::kMaxSectorChain) {
            setReason(reason, QStringLiteral("expected a mini stream of at most %1 sectors")
                                  .arg(limits::kMaxSectorChain));
            return false;
        }
        if (!fitChain(&m_rootChain, sectorsFor(m_mini.size(), m_sectorSize), reason) ||
            !fitChain(&m_miniFatChain, miniFatSectors, reason))
            return false;
    }
    // Sectors this rewrite freed at the very end of the file are cut.
    std::vector<bool> freedHere(size_t(m_total), false);
    for (quint32 s : m_freed)
        freedHere[s] = true;
    while (m_total > 0 && freedHere[size_t(m_total - 1)] && m_fat[int(m_total - 1)] == kFreeSector)
        --m_total;

    m_image = std::make_unique<Image>(m_file, m_sectorSize, m_total + 1);
    // Freed sectors keep nothing of what they held.
    for (quint32 s : m_freed) {
        if (qint64(s) < m_total && m_fat[int(s)] == kFreeSector)
            m_image->zero(qint64(s) + 1);
    }
    for (const Stream &s : m_streams) {
        const qint64 size = s.content->size();
        if (!s.newMini)
            writeChain(s.newChain, s.content->constData(), size);
        writeEntry(s.entry, s.newChain.isEmpty() ? kEndOfChain : s.newChain.first(), quint64(size));
    }
    if (m_miniTouched) {
        writeChain(m_rootChain, m_mini.constData(), m_mini.size());
        writeEntry(0, m_rootChain.isEmpty() ? kEndOfChain : m_rootChain.first(),
                   quint64(m_mini.size()));
        m_miniFatBytes = QByteArray(m_miniFat.size() * 4, Qt::Uninitialized);
        for (int i = 0; i < m_miniFat.size(); ++i)
            writeU32(m_miniFatBytes, qint64(i) * 4, m_miniFat[i]);
        writeChain(m_miniFatChain, m_miniFatBytes.constData(), m_miniFatBytes.size());
        m_image->putU32(60, m_miniFatChain.isEmpty() ? kEndOfChain : m_miniFatChain.first());
        m_image->putU32(64, quint32(m_miniFatChain.size()));
    }
    for (int k = 0; k < m_fatIds.size(); ++k) {
        char *sector = m_image->own(qint64(m_fatIds[k]) + 1);
        for (int i = 0; i < m_perSector; ++i) {
            const quint32 v = m_fat[k * m_perSector + i];
            for (int b = 0; b < 4; ++b)
                sector[4 * i + b] = char((v >> (8 * b)) & 0xFF);
        }
    }
    if (m_fatIds.size() > oldFatSectors)
        writeDifat(int(oldFatSectors), oldDifatSectors);
    return true;
}

} // namespace

struct CompoundFileWriter::Plan {
    Plan(const QByteArray &file, const CompoundFile &parsed) : rewrite(file, parsed) {}
    Rewrite rewrite;
};

CompoundFileWriter::CompoundFileWriter() = default;
CompoundFileWriter::~CompoundFileWriter() = default;

bool CompoundFileWriter::plan(const QByteArray &file, const CompoundFile &parsed,
                              const QVector<Replacement> &replacements, QString *reason)
{
    m_plan.reset();
    auto plan = std::make_unique<Plan>(file, parsed);
    QString why;
    if (!plan->rewrite.run(replacements, &why)) {
        setReason(reason, QStringLiteral("compound file: %1").arg(why));
        return false;
    }
    m_plan = std::move(plan);
    return true;
}

qint64 CompoundFileWriter::size() const
{
    return m_plan ? m_plan->rewrite.image().size() : 0;
}

bool CompoundFileWriter::write(ByteSink &sink) const
{
    return m_plan && m_plan->rewrite.image().write(sink);
}

bool CompoundFileWriter::rewrite(const QByteArray &file, const CompoundFile &parsed,
                                 const QVector<Replacement> &replacements, QByteArray *out,
                                 QString *reason)
{
    CompoundFileWriter writer;
    if (!writer.plan(file, parsed, replacements, reason))
        return false;
    ByteArraySink sink;
    writer.write(sink);
    *out = sink.Bytes();
    return true;
}

} // namespace workbook::cfb
