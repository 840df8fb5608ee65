#include "workbook/biff/recordreader.h"

#include "workbook/biff/recordtypes.h"

namespace workbook::biff
{

RecordReader::RecordReader(const QByteArray &stream, qsizetype offset)
    : m_stream(stream), m_pos(offset)
{
    if (offset < 0 || offset > stream.size()) {
        m_error = QStringLiteral("expected a record at offset %1 inside the workbook stream of "
                                 "%2 bytes")
                      .arg(offset)
                      .arg(stream.size());
        m_pos = stream.size();
    }
}

bool RecordReader::next(Record *record)
{
    // Fewer than four bytes left: padding at the end of the stream, not a record.
    const qsizetype size = m_stream.size();
    if (size - m_pos < 4)
        return false;
    // Headers are read straight from the bytes, which are checked to be there: a sheet has a
    // record for nearly every cell.
    const auto *bytes = reinterpret_cast<const uchar *>(m_stream.constData());
    auto u16At = [bytes](qsizetype at) { return quint16(bytes[at] | (bytes[at + 1] << 8)); };
    const quint16 type = u16At(m_pos);
    const quint16 length = u16At(m_pos + 2);
    if (m_pos + 4 + length > size) {
        m_error = QStringLiteral("record %1 at offset %2 declares %3 bytes, past the end of the "
                                 "workbook stream")
                      .arg(type, 4, 16, QLatin1Char('0'))
                      .arg(m_pos)
                      .arg(length);
        m_pos = size;
        return false;
    }
    record->type = type;
    record->offset = m_pos;
    if (!record->continues.isEmpty())
        record->continues.clear();
    qsizetype end = m_pos + 4 + length;
    // Gather CONTINUE records; only when there are any is the body copied.
    QByteArray merged;
    while (size - end >= 4 && u16At(end) == rt::kContinue) {
        const quint16 more = u16At(end + 2);
        if (end + 4 + more > size)
            break;
        if (merged.isEmpty() && record->continues.isEmpty())
            merged = QByteArray(m_stream.constData() + m_pos + 4, length);
        record->continues.append(merged.size());
        merged.append(m_stream.constData() + end + 4, more);
        end += 4 + more;
    }
    record->body = record->continues.isEmpty() ? cfb::ByteCursor(m_stream, m_pos + 4, length)
                                               : cfb::ByteCursor(merged);
    m_pos = end;
    return true;
}

} // namespace workbook::biff
