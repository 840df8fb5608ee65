#include "workbook/biff/recordreader.h"

#include "workbook/biff/recordtypes.h"

#include <cstring>

namespace workbook::biff
{

namespace
{

bool bodyIsRead(quint16 type)
{
    switch (type) {
    case rt::kMsoDrawingGroup:
    case rt::kMsoDrawing:
    case rt::kMsoDrawingSelection:
    case rt::kObj:
    case rt::kTxo:
    case rt::kImData:
    case rt::kPls:
        return false;
    default:
        return true;
    }
}

} // namespace

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
    // Gather CONTINUE records; only when there are any is the body copied, into one buffer
    // of the merged size (a string table runs to many of them).
    qsizetype merged = length;
    const bool mergeBody = bodyIsRead(type);
    while (size - end >= 4 && u16At(end) == rt::kContinue) {
        const quint16 more = u16At(end + 2);
        if (end + 4 + more > size)
            break;
        if (mergeBody) {
            record->continues.append(merged);
            merged += more;
        }
        end += 4 + more;
    }
    if (!record->continues.isEmpty()) {
        QByteArray body(int(merged), Qt::Uninitialized);
        char *to = body.data();
        std::memcpy(to, m_stream.constData() + m_pos + 4, length);
        qsizetype from = m_pos + 4 + length;
        for (int i = 0; i < record->continues.size(); ++i) {
            const qsizetype at = record->continues.at(i);
            const qsizetype more =
                (i + 1 < record->continues.size() ? record->continues.at(i + 1) : merged) - at;
            std::memcpy(to + at, m_stream.constData() + from + 4, size_t(more));
            from += 4 + more;
        }
        record->body = cfb::ByteCursor(body);
    } else if (!record->body.rebase(m_stream, m_pos + 4, length))
        record->body = cfb::ByteCursor(m_stream, m_pos + 4, length);
    m_pos = end;
    return true;
}

} // namespace workbook::biff
