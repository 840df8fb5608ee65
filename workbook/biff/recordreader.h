#pragma once

#include "workbook/biff/recordtypes.h"
#include "workbook/cfb/bytecursor.h"
#include "workbook/cfb/streambytes.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace workbook::biff
{

// One record with the CONTINUE records after it merged into its body. `continues` holds the
// body offsets where each merged CONTINUE began: a string cut there repeats its width flag.
// Drawings, pictures, text boxes and printer settings (MSODRAWINGGROUP, MSODRAWING, OBJ, TXO,
// IMDATA, PLS …) are the exception: no reader looks into them, and a workbook's drawing group
// alone runs to megabytes, so their body is only the record's own bytes, without CONTINUEs.
struct Record {
    quint16 type = 0;
    qsizetype offset = 0; // of the record header in the stream
    cfb::ByteCursor body;
    QVector<qsizetype> continues;
};

// Walks the records of a workbook stream from an offset. A record whose declared length runs
// past the stream ends the walk with an error. A body that lies in one piece of the stream is
// read where it lies; one cut by the end of a piece, or merged with CONTINUE records, is
// copied.
class RecordReader
{
public:
    RecordReader(const cfb::StreamBytes &stream, qsizetype offset);
    RecordReader(const QByteArray &stream, qsizetype offset)
        : RecordReader(cfb::StreamBytes(stream), offset)
    {
    }

    // False at the end of the stream or on an error (then error() says which).
    bool next(Record *record);
    // Moves past the records whose type wanted(type) turns down, by their headers alone, so
    // that next() reads the first one it wants. CONTINUE records are passed over too, as
    // part of the record before them; a record cut by the end of a piece or running past
    // the stream is left to next().
    template <typename Wanted> void skipUnwanted(Wanted wanted)
    {
        for (;;) {
            if (m_size - m_pos < 4)
                return;
            if (m_pos < m_pieceStart || m_pos >= m_pieceEnd)
                enterPiece(m_pos);
            if (m_pieceEnd - m_pos < 4)
                return;
            const quint16 type = u16InPiece(m_pos);
            if (type != rt::kContinue && wanted(type))
                return;
            const qsizetype end = m_pos + 4 + u16InPiece(m_pos + 2);
            if (end > m_size)
                return;
            m_pos = end;
        }
    }
    const QString &error() const { return m_error; }
    // Where the next record starts.
    qsizetype position() const { return m_pos; }

private:
    // Makes the piece holding position the current one.
    void enterPiece(qsizetype position);
    // The value at stream offset at, which the caller checked to lie in the current piece.
    quint16 u16InPiece(qsizetype at) const
    {
        const auto *bytes =
            reinterpret_cast<const uchar *>(m_piece.constData()) + (at - m_pieceStart);
        return quint16(bytes[0] | (bytes[1] << 8));
    }
    // The record header at position, which the caller checked to be in the stream, where it
    // runs past the end of the current piece.
    void headerAcross(qsizetype position, quint16 *type, quint16 *length) const;

    cfb::StreamBytes m_stream;
    qsizetype m_size;
    qsizetype m_pos;
    // The current piece and where it lies in the stream.
    QByteArray m_piece;
    qsizetype m_pieceStart = 0;
    qsizetype m_pieceEnd = 0;
    QString m_error;
};

} // namespace workbook::biff
