#pragma once

#include <QByteArray>
#include <QString>

namespace workbook::zip
{

// Content kept deflated in memory between its changes: the raw deflate stream with the size
// and CRC-32 of what it inflates to, as a zip directory records them, so that a save writes
// it into the container as it is.
class DeflatedBytes
{
public:
    // False (out stays as it was) when the compressor cannot be set up.
    static bool deflate(const QByteArray &content, DeflatedBytes *out, QString *reason);
    bool inflate(QByteArray *out, QString *reason) const;

    const QByteArray &data() const { return m_data; }
    qint64 size() const { return m_size; }
    quint32 crc() const { return m_crc; }
    bool isNull() const { return m_data.isNull(); }

private:
    QByteArray m_data;
    qint64 m_size = 0;
    quint32 m_crc = 0;
};

} // namespace workbook::zip
