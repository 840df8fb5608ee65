#pragma once

#include <QByteArray>
#include <QMap>
#include <QVector>

namespace workbook::biff
{

// A record to write: its type and its whole body. Only the string table's body may be longer
// than one record holds; it is cut into CONTINUE records where the format allows.
struct NewRecord {
    quint16 type = 0;
    QByteArray body;
};

// The changes to a workbook stream, keyed by the stream offset of an original record's
// header (its CONTINUE records go with it).
struct StreamEdits {
    // The record at an offset replaced by these records, in order (none: removed).
    QMap<qsizetype, QVector<NewRecord>> replaced;
    // Records written just before the record at an offset (and before what replaces it).
    QMap<qsizetype, QVector<NewRecord>> insertedBefore;
    // The string table, when it changed: every string as its XLUnicodeRichExtendedString
    // bytes in index order, and the number of uses (cstTotal). SST and EXTSST are then
    // written anew in place of the old ones.
    bool stringsChanged = false;
    QVector<QByteArray> strings;
    quint32 stringUses = 0;
};

} // namespace workbook::biff
