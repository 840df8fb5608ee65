#include "tests/workbook/support/compoundfilebuilder.h"

namespace
{

constexpr quint32 kEnd = 0xFFFFFFFE;
constexpr quint32 kFree = 0xFFFFFFFF;
constexpr quint32 kFatSector = 0xFFFFFFFD;

void put16(QByteArray &b, qint64 at, quint16 v)
{
    b[int(at)] = char(v & 0xFF);
    b[int(at + 1)] = char(v >> 8);
}

int sectorsFor(qint64 bytes, int sectorSize)
{
    return int((bytes + sectorSize - 1) / sectorSize);
}

} // namespace

void CompoundFileBuilder::putU32(QByteArray &b, qint64 at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[int(at + i)] = char((v >> (8 * i)) & 0xFF);
}

qint64 CompoundFileBuilder::fatEntryOffset(const Layout &layout, quint32 sector)
{
    const int perSector = layout.sectorSize / 4;
    const quint32 fatSector = layout.fatSectors[int(sector / perSector)];
    return (qint64(fatSector) + 1) * layout.sectorSize + (sector % perSector) * 4;
}

qint64 CompoundFileBuilder::directoryEntryOffset(const Layout &layout, int entry)
{
    // The directory is one consecutive run of sectors.
    return (qint64(layout.directorySector) + 1) * layout.sectorSize + qint64(entry) * 128;
}

QByteArray CompoundFileBuilder::build(Layout *layoutOut) const
{
    const int S = m_version == 4 ? 4096 : 512;
    Layout layout;
    layout.sectorSize = S;
    QByteArray mini;
    QVector<quint32> miniFat;
    QVector<quint32> miniStart(m_streams.size(), kEnd);
    for (int i = 0; i < m_streams.size(); ++i) {
        const QByteArray &c = m_streams[i].second;
        if (c.size() >= 4096 || c.isEmpty())
            continue;
        const int n = sectorsFor(c.size(), 64);
        miniStart[i] = quint32(miniFat.size());
        for (int k = 0; k < n; ++k)
            miniFat.append(k + 1 < n ? quint32(miniFat.size() + 1) : kEnd);
        QByteArray padded = c;
        padded.append(QByteArray(n * 64 - c.size(), '\0'));
        mini.append(padded);
    }
    const int dirSectors = sectorsFor((m_streams.size() + 1) * 128, S);
    const int miniFatSectors = sectorsFor(miniFat.size() * 4, S);
    const int miniStreamSectors = sectorsFor(mini.size(), S);
    int regular = 0;
    for (const auto &s : m_streams)
        regular += s.second.size() >= 4096 ? sectorsFor(s.second.size(), S) : 0;
    const int others = dirSectors + miniFatSectors + miniStreamSectors + regular;
    int fatSectors = 1;
    while (fatSectors * (S / 4) < fatSectors + others)
        ++fatSectors;
    Q_ASSERT(fatSectors <= 109);
    const int total = fatSectors + others;

    QVector<quint32> fat(fatSectors * (S / 4), kFree);
    int next = 0;
    auto chain = [&](int count) {
        const quint32 first = quint32(next);
        for (int k = 0; k < count; ++k, ++next)
            fat[next] = k + 1 < count ? quint32(next + 1) : kEnd;
        return count ? first : kEnd;
    };
    for (int k = 0; k < fatSectors; ++k, ++next) {
        fat[next] = kFatSector;
        layout.fatSectors.append(quint32(next));
    }
    layout.directorySector = chain(dirSectors);
    const quint32 miniFatStart = chain(miniFatSectors);
    const quint32 miniStreamStart = chain(miniStreamSectors);
    QVector<quint32> start(m_streams.size(), kEnd);
    for (int i = 0; i < m_streams.size(); ++i) {
        const QByteArray &c = m_streams[i].second;
        if (c.size() >= 4096) {
            start[i] = chain(sectorsFor(c.size(), S));
            layout.streamStart.insert(m_streams[i].first, start[i]);
        } else {
            start[i] = miniStart[i];
        }
    }

    QByteArray file(S + total * S, '\0');
    const QByteArray signature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    file.replace(0, 8, signature);
    put16(file, 24, 0x003E);
    put16(file, 26, quint16(m_version));
    put16(file, 28, 0xFFFE);
    put16(file, 30, m_version == 4 ? 12 : 9);
    put16(file, 32, 6);
    putU32(file, 40, m_version == 4 ? quint32(dirSectors) : 0);
    putU32(file, 44, quint32(fatSectors));
    putU32(file, 48, layout.directorySector);
    putU32(file, 56, 4096);
    putU32(file, 60, miniFatStart);
    putU32(file, 64, quint32(miniFatSectors));
    putU32(file, 68, kEnd);
    putU32(file, 72, 0);
    for (int k = 0; k < 109; ++k)
        putU32(file, 76 + 4 * k, k < fatSectors ? layout.fatSectors[k] : kFree);
    auto sectorAt = [&](quint32 s) { return qint64(s + 1) * S; };
    for (int k = 0; k < fat.size(); ++k)
        putU32(file, sectorAt(layout.fatSectors[k / (S / 4)]) + (k % (S / 4)) * 4, fat[k]);
    auto entry = [&](int index, const QString &name, int type, quint32 child, quint32 right,
                     quint32 first, quint64 size) {
        const qint64 at = sectorAt(layout.directorySector) + qint64(index) * 128;
        for (int k = 0; k < name.size(); ++k)
            put16(file, at + 2 * k, name.at(k).unicode());
        put16(file, at + 64, quint16((name.size() + 1) * 2));
        file[int(at + 66)] = char(type);
        file[int(at + 67)] = 1;
        putU32(file, at + 68, kFree);
        putU32(file, at + 72, right);
        putU32(file, at + 76, child);
        putU32(file, at + 116, first);
        putU32(file, at + 120, quint32(size));
        putU32(file, at + 124, quint32(size >> 32));
    };
    entry(0, QStringLiteral("Root Entry"), 5, m_streams.isEmpty() ? kFree : 1, kFree,
          mini.isEmpty() ? kEnd : miniStreamStart, quint64(mini.size()));
    for (int i = 0; i < m_streams.size(); ++i)
        entry(i + 1, m_streams[i].first, 2, kFree,
              i + 1 < m_streams.size() ? quint32(i + 2) : kFree,
              m_streams[i].second.isEmpty() ? kEnd : start[i], quint64(m_streams[i].second.size()));
    for (int k = m_streams.size() + 1; k < dirSectors * S / 128; ++k) {
        for (int field = 68; field <= 76; field += 4)
            putU32(file, sectorAt(layout.directorySector) + qint64(k) * 128 + field, kFree);
    }
    for (int k = 0; k < miniFat.size(); ++k)
        putU32(file, sectorAt(miniFatStart) + qint64(k / (S / 4)) * S + (k % (S / 4)) * 4,
               miniFat[k]);
    for (int k = miniFat.size(); k < miniFatSectors * (S / 4); ++k)
        putU32(file, sectorAt(miniFatStart) + qint64(k / (S / 4)) * S + (k % (S / 4)) * 4, kFree);
    if (!mini.isEmpty())
        file.replace(int(sectorAt(miniStreamStart)), mini.size(), mini);
    layout.endOfData = file.size();
    for (int i = 0; i < m_streams.size(); ++i) {
        const QByteArray &c = m_streams[i].second;
        if (c.size() >= 4096) {
            file.replace(int(sectorAt(start[i])), c.size(), c);
            layout.endOfData = sectorAt(start[i]) + c.size();
        }
    }
    if (layoutOut)
        *layoutOut = layout;
    return file;
}
