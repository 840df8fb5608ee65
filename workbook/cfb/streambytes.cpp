#include "workbook/cfb/streambytes.h"

#include <algorithm>
#include <cstring>

namespace workbook::cfb
{

StreamBytes::StreamBytes(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    m_pieces.append(bytes);
    m_starts.append(0);
    m_size = bytes.size();
}

bool StreamBytes::append(const QByteArray &file, qsizetype from, qsizetype size)
{
    if (from < 0 || size < 0 || size > file.size() - from)
        return false;
    if (size == 0)
        return true;
    m_owner = file;
    m_pieces.append(QByteArray::fromRawData(file.constData() + from, int(size)));
    m_starts.append(m_size);
    m_size += size;
    return true;
}

int StreamBytes::pieceAt(qsizetype position) const
{
    if (position < 0 || position >= m_size)
        return -1;
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), position);
    return int(after - m_starts.begin()) - 1;
}

bool StreamBytes::copy(qsizetype from, qsizetype count, char *to) const
{
    if (from < 0 || count < 0 || count > m_size - from)
        return false;
    for (int i = count > 0 ? pieceAt(from) : 0; count > 0; ++i) {
        const qsizetype offset = from - m_starts[i];
        const qsizetype take = qMin<qsizetype>(count, m_pieces[i].size() - offset);
        std::memcpy(to, m_pieces[i].constData() + offset, size_t(take));
        to += take;
        from += take;
        count -= take;
    }
    return true;
}

QByteArray StreamBytes::joined() const
{
    if (m_pieces.size() == 1)
        return m_pieces.front();
    QByteArray out(int(m_size), Qt::Uninitialized);
    copy(0, m_size, out.data());
    return out;
}

} // namespace workbook::cfb
