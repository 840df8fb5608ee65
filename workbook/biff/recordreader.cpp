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
    if (m_stream.size() - m_pos < 4)
        return false;
    cfb::ByteCursor head(m_stream, m_pos, 4);
    const quint16 type = head.u16();
    const quint16 length = head.u16();
    if (m_pos + 4 + length > m_stream.size()) {
        m_error = QStringLiteral("record %1 at offset %2 declares %3 bytes, past the end of the "
                                 "workbook stream")
                      .arg(type, 4, 16, QLatin1Char('0'))
                      .arg(m_pos)
                      .arg(length);
        m_pos = m_stream.size();
        return false;
    }
    record->type = type;
    record->offset = m_pos;
    record->continues.clear();
    qsizetype end = m_pos + 4 + length;
    // Gather CONTINUE records; only when there are any is the body copied.
    QByteArray merged;
    for (;;) {
        if (m_stream.size() - end < 4)
            break;
        cfb::ByteCursor next(m_stream, end, 4);
        if (next.u16() != rt::kContinue)
            break;
        const quint16 more = next.u16();
        if (end + 4 + more > m_stream.size())
            break;
        if (merged.isEmpty() && record->continues.isEmpty())
            merged = m_stream.mid(m_pos + 4, length);
        record->continues.append(merged.size());
        merged.append(m_stream.mid(end + 4, more));
        end += 4 + more;
    }
    record->body = record->continues.isEmpty() ? cfb::ByteCursor(m_stream, m_pos + 4, length)
                                               : cfb::ByteCursor(merged);
    m_pos = end;
    return true;
}

} // namespace workbook::biff
