#include "tests/workbook/support/biffstreambuilder.h"

#include "tests/workbook/support/compoundfilebuilder.h"

#include <cstring>

QByteArray BiffStreamBuilder::u8(int v)
{
    return QByteArray(1, char(v & 0xFF));
}

QByteArray BiffStreamBuilder::u16(int v)
{
    QByteArray b(2, '\0');
    b[0] = char(v & 0xFF);
    b[1] = char((v >> 8) & 0xFF);
    return b;
}

QByteArray BiffStreamBuilder::u32(quint32 v)
{
    return u16(int(v & 0xFFFF)) + u16(int(v >> 16));
}

QByteArray BiffStreamBuilder::f64(double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, sizeof v);
    return u32(quint32(bits)) + u32(quint32(bits >> 32));
}

QByteArray BiffStreamBuilder::string(const QString &s, int countBytes)
{
    bool wide = false;
    for (QChar c : s)
        wide = wide || c.unicode() > 0xFF;
    QByteArray out = countBytes == 1 ? u8(s.size()) : u16(s.size());
    out += u8(wide ? 1 : 0);
    for (QChar c : s)
        out += wide ? u16(c.unicode()) : u8(c.unicode());
    return out;
}

QByteArray BiffStreamBuilder::record(quint16 type, const QByteArray &body)
{
    return u16(type) + u16(body.size()) + body;
}

QByteArray BiffStreamBuilder::bof(quint16 type)
{
    return record(0x0809, u16(0x0600) + u16(type) + QByteArray(12, '\0'));
}

QByteArray BiffStreamBuilder::xf(int format, bool locked)
{
    return record(0x00E0, u16(0) + u16(format) + u16(locked ? 1 : 0) + QByteArray(14, '\0'));
}

QByteArray BiffStreamBuilder::build() const
{
    QByteArray out = bof(0x0005) + globals;
    QVector<int> positions;
    for (const Sheet &s : sheets) {
        positions << out.size() + 4;
        out += record(0x0085, u32(0) + u8(s.state) + u8(s.type) + string(s.name, 1));
    }
    out += record(0x000A, QByteArray());
    for (int i = 0; i < sheets.size(); ++i) {
        const QByteArray at = u32(quint32(out.size()));
        out.replace(positions[i], 4, at);
        out += bof(sheets[i].bofType) + sheets[i].records + record(0x000A, QByteArray());
    }
    return out;
}

QByteArray BiffStreamBuilder::file() const
{
    CompoundFileBuilder b;
    b.addStream(QStringLiteral("Workbook"), build());
    return b.build();
}
