#pragma once

#include <QByteArray>
#include <QString>
#include <QtEndian>
#include <QtGlobal>
#include <cstring>

namespace workbook::cfb
{

// Little-endian reads over bytes held elsewhere. A read past the end yields zero and leaves the
// cursor failed (ok() false) for good, so a parser can read a whole structure and check once.
// Every binary read of the compound-file and BIFF layers goes through this class.
class ByteCursor
{
public:
    ByteCursor() = default;
    explicit ByteCursor(const QByteArray &bytes) : m_bytes(bytes), m_end(bytes.size()) {}
    // The bytes [from, from + size) of `bytes`, clamped to what exists.
    ByteCursor(const QByteArray &bytes, qsizetype from, qsizetype size) : m_bytes(bytes)
    {
        const qsizetype total = bytes.size();
        m_begin = qBound<qsizetype>(0, from, total);
        m_end = qBound<qsizetype>(m_begin, m_begin + qMax<qsizetype>(0, size), total);
        m_pos = m_begin;
        m_ok = from >= 0 && size >= 0 && from + size <= total;
    }

    bool ok() const { return m_ok; }
    void fail() { m_ok = false; }
    qsizetype position() const { return m_pos - m_begin; }
    qsizetype size() const { return m_end - m_begin; }
    qsizetype remaining() const { return m_end - m_pos; }
    bool atEnd() const { return m_pos >= m_end; }

    bool seek(qsizetype position)
    {
        if (position < 0 || position > size())
            return m_ok = false;
        m_pos = m_begin + position;
        return true;
    }
    bool skip(qsizetype count)
    {
        if (count < 0 || count > remaining()) {
            m_pos = m_end;
            return m_ok = false;
        }
        m_pos += count;
        return true;
    }

    quint8 u8() { return quint8(read(1)); }
    quint16 u16() { return quint16(read(2)); }
    quint32 u32() { return quint32(read(4)); }
    quint64 u64() { return read(8); }
    double f64()
    {
        const quint64 bits = read(8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    // A copy of the next count bytes; empty (and failed) when fewer remain.
    QByteArray bytes(qsizetype count)
    {
        if (count < 0 || count > remaining()) {
            m_pos = m_end;
            m_ok = false;
            return QByteArray();
        }
        QByteArray out = m_bytes.mid(m_pos, count);
        m_pos += count;
        return out;
    }
    // The next count bytes without a copy: valid while the bytes this cursor reads are.
    QByteArray view(qsizetype count)
    {
        if (count < 0 || count > remaining()) {
            m_pos = m_end;
            m_ok = false;
            return QByteArray();
        }
        QByteArray out = QByteArray::fromRawData(m_bytes.constData() + m_pos, int(count));
        m_pos += count;
        return out;
    }
    // Bytes [position, position + count) of what this cursor reads, without a copy and
    // without moving; empty when they are not all there. Valid while those bytes are.
    QByteArray viewAt(qsizetype position, qsizetype count) const
    {
        if (position < 0 || count < 0 || count > size() - position)
            return QByteArray();
        return QByteArray::fromRawData(m_bytes.constData() + m_begin + position, int(count));
    }
    // Where position lies in the bytes this cursor reads (valid while they are); null when
    // it lies outside them.
    const char *dataAt(qsizetype position) const
    {
        return position >= 0 && position <= size() ? m_bytes.constData() + m_begin + position
                                                   : nullptr;
    }
    // The byte at position, or 0 when there is none.
    quint8 byteAt(qsizetype position) const
    {
        return position >= 0 && position < size() ? quint8(m_bytes.at(m_begin + position)) : 0;
    }
    // Moves this cursor to [from, from + size) of bytes, as a new cursor would, when it reads
    // those very bytes already: no copy of their handle. False, unchanged, when it does not.
    bool rebase(const QByteArray &bytes, qsizetype from, qsizetype size)
    {
        if (!m_bytes.isSharedWith(bytes))
            return false;
        const qsizetype total = bytes.size();
        m_begin = qBound<qsizetype>(0, from, total);
        m_end = qBound<qsizetype>(m_begin, m_begin + qMax<qsizetype>(0, size), total);
        m_pos = m_begin;
        m_ok = from >= 0 && size >= 0 && from + size <= total;
        return true;
    }
    // A cursor over the next count bytes; this one moves past them.
    ByteCursor take(qsizetype count)
    {
        if (count < 0 || count > remaining()) {
            m_pos = m_end;
            m_ok = false;
            return ByteCursor(m_bytes, 0, -1);
        }
        ByteCursor sub(m_bytes, m_pos, count);
        m_pos += count;
        return sub;
    }
    // UTF-16LE (wide) or Latin-1 (compressed BIFF strings) characters.
    QString utf16(qsizetype chars)
    {
        if (chars < 0 || chars > remaining() / 2) {
            m_pos = m_end;
            m_ok = false;
            return QString();
        }
        QString out(int(chars), Qt::Uninitialized);
        qFromLittleEndian<quint16>(m_bytes.constData() + m_pos, chars, out.data());
        m_pos += chars * 2;
        return out;
    }
    QString latin1(qsizetype chars)
    {
        if (chars < 0 || chars > remaining()) {
            m_pos = m_end;
            m_ok = false;
            return QString();
        }
        const QString out = QString::fromLatin1(m_bytes.constData() + m_pos, int(chars));
        m_pos += chars;
        return out;
    }

private:
    quint64 read(int width)
    {
        if (remaining() < width) {
            m_pos = m_end;
            m_ok = false;
            return 0;
        }
        // Every record header and cell field comes through here: one load per value.
        const uchar *at = reinterpret_cast<const uchar *>(m_bytes.constData()) + m_pos;
        m_pos += width;
        switch (width) {
        case 1:
            return *at;
        case 2:
            return qFromLittleEndian<quint16>(at);
        case 4:
            return qFromLittleEndian<quint32>(at);
        default:
            return qFromLittleEndian<quint64>(at);
        }
    }

    QByteArray m_bytes;
    qsizetype m_begin = 0;
    qsizetype m_end = 0;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

} // namespace workbook::cfb
