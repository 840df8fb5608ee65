#pragma once

#include "workbook/cfb/bytecursor.h"

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
// past the stream ends the walk with an error.
class RecordReader
{
public:
    RecordReader(const QByteArray &stream, qsizetype offset);

    // False at the end of the stream or on an error (then error() says which).
    bool next(Record *record);
    const QString &error() const { return m_error; }
    // Where the next record starts.
    qsizetype position() const { return m_pos; }

private:
    QByteArray m_stream;
    qsizetype m_pos;
    QString m_error;
};

} // namespace workbook::biff
