#pragma once

#include <QByteArray>
#include <QVector>

namespace workbook::cfb
{

// A stream's content as the pieces it lies in, in order: the runs of consecutive sectors of a
// compound file, as views of the file's bytes, so that a stream whose sectors are scattered is
// read without a copy of it; or one buffer of its own. The views are valid while the file's
// bytes are.
class StreamBytes
{
public:
    StreamBytes() = default;
    // The stream as one piece: bytes itself.
    explicit StreamBytes(const QByteArray &bytes);

    // Adds bytes [from, from + size) of file at the end; false (nothing added) when they are
    // not all there. Every piece is of the same file, which this keeps.
    bool append(const QByteArray &file, qsizetype from, qsizetype size);

    qsizetype size() const { return m_size; }
    int pieceCount() const { return m_pieces.size(); }
    const QByteArray &piece(int index) const { return m_pieces[index]; }
    // Where piece index begins in the stream.
    qsizetype pieceStart(int index) const { return m_starts[index]; }
    // The piece holding position, or -1 when position lies outside the stream.
    int pieceAt(qsizetype position) const;

    // Copies bytes [from, from + count) to `to`, across pieces; false (nothing copied) when they
    // are not all in the stream.
    bool copy(qsizetype from, qsizetype count, char *to) const;
    // The whole stream in one buffer: the piece itself when there is one, else a copy.
    QByteArray joined() const;

private:
    QByteArray m_owner;
    QVector<QByteArray> m_pieces;
    QVector<qsizetype> m_starts;
    qsizetype m_size = 0;
};

} // namespace workbook::cfb
