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

RecordReader::RecordReader(const cfb::StreamBytes &stream, qsizetype offset)
    : m_stream(stream), m_size(stream.size()), m_pos(offset)
{
    if (offset < 0 || offset > m_size) {
        m_error = QStringLiteral("expected a record at offset %1 inside the workbook stream of "
                                 "%2 bytes")
                      .arg(offset)
                      .arg(m_size);
        m_pos = m_size;
    }
}

void RecordReader::enterPiece(qsizetype position)
{
    const int index = m_stream.pieceAt(position);
    if (index < 0) {
        m_piece = QByteArray();
        m_pieceStart = m_pieceEnd = 0;
        return;
    }
    m_piece = m_stream.piece(index);
    m_pieceStart = m_stream.pieceStart(index);
    m_pieceEnd = m_pieceStart + m_piece.size();
}

void RecordReader::headerAcross(qsizetype position, quint16 *type, quint16 *length) const
{
    uchar header[4];
    m_stream.copy(position, 4, reinterpret_cast<char *>(header));
    *type = quint16(header[0] | (header[1] << 8));
    *length = quint16(header[2] | (header[3] << 8));
}

bool RecordReader::next(Record *record)
{
    // Fewer than four bytes left: padding at the end of the stream, not a record.
    const qsizetype size = m_size;
    if (size - m_pos < 4)
        return false;
    if (m_pos < m_pieceStart || m_pos >= m_pieceEnd)
        enterPiece(m_pos);
    // A sheet has a record for nearly every cell: headers are read straight from the piece
    // when they lie in it, which all but a few do.
    quint16 type, length;
    if (m_pos + 4 <= m_pieceEnd) {
        type = u16InPiece(m_pos);
        length = u16InPiece(m_pos + 2);
    } else {
        headerAcross(m_pos, &type, &length);
    }
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
    while (size - end >= 4) {
        quint16 nextType, more;
        if (end + 4 <= m_pieceEnd) {
            nextType = u16InPiece(end);
            if (nextType != rt::kContinue)
                break;
            more = u16InPiece(end + 2);
        } else {
            headerAcross(end, &nextType, &more);
        }
        if (nextType != rt::kContinue || end + 4 + more > size)
            break;
        if (mergeBody) {
            record->continues.append(merged);
            merged += more;
        }
        end += 4 + more;
    }
    const qsizetype from = m_pos + 4;
    if (!record->continues.isEmpty()) {
        QByteArray body(int(merged), Qt::Uninitialized);
        char *to = body.data();
        m_stream.copy(from, length, to);
        qsizetype at = from + length;
        for (int i = 0; i < record->continues.size(); ++i) {
            const qsizetype begin = record->continues.at(i);
            const qsizetype more =
                (i + 1 < record->continues.size() ? record->continues.at(i + 1) : merged) - begin;
            m_stream.copy(at + 4, more, to + begin);
            at += 4 + more;
        }
        record->body = cfb::ByteCursor(body);
    } else if (from + length <= m_pieceEnd) {
        if (!record->body.rebase(m_piece, from - m_pieceStart, length))
            record->body = cfb::ByteCursor(m_piece, from - m_pieceStart, length);
    } else {
        // Cut by the end of a piece: the body is put together.
        QByteArray body(int(length), Qt::Uninitialized);
        m_stream.copy(from, length, body.data());
        record->body = cfb::ByteCursor(body);
    }
    m_pos = end;
    return true;
}

} // namespace workbook::biff
