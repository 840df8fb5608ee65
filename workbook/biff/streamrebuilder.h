#pragma once

#include "workbook/biff/streamedits.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace workbook::biff
{

// Builds a workbook stream anew from the original and its edits: every record not edited is
// copied as it was; the string table and EXTSST are written anew when they changed; and the
// stream positions that depend on the sizes of records before them (BOUNDSHEET8 positions,
// INDEX, DBCELL, EXTSST) are recomputed.
class StreamRebuilder
{
public:
    // False with *reason when the edits do not fit the stream (an offset that is no record,
    // a body too long for its record) or the stream cannot be walked. copied, when given, is
    // told every so often how far the original has been copied: what lies before is read
    // again only for a few fields, so its memory may be let go while the new stream grows.
    static bool rebuild(const QByteArray &stream, const StreamEdits &edits, QByteArray *out,
                        QString *reason, const std::function<void(qsizetype)> &copied = {});
};

} // namespace workbook::biff
