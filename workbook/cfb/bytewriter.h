#pragma once

#include <QByteArray>
#include <QtEndian>
#include <QtGlobal>

namespace workbook::cfb
{

// Little-endian writes into byte arrays: the compound-file and BIFF layers' counterpart of
// ByteCursor's reads.

inline void appendU16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

inline void appendU32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

// At [at, at + 2) or [at, at + 4), which must lie inside out.
inline void writeU16(QByteArray &out, qsizetype at, quint16 v)
{
    qToLittleEndian(v, out.data() + at);
}

inline void writeU32(QByteArray &out, qsizetype at, quint32 v)
{
    qToLittleEndian(v, out.data() + at);
}

} // namespace workbook::cfb
