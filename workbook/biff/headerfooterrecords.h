#pragma once

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>

namespace workbook::biff
{

// HEADER and FOOTER records of a sheet's page settings.
class HeaderFooterRecords
{
public:
    // The record body holding text (at most 255 characters; an empty text gives the empty
    // body Excel writes for a sheet without one). False with *reason when it cannot be held.
    static bool body(const QString &text, QByteArray *out, QString *reason);
    // For a sheet without the record: the offset of the record it is written before, given
    // the sheet substream's records in order as (type, offset) from its BOF to its EOF.
    // A sheet without either record gets both at the same place, HEADER first. -1 when the
    // records hold no sheet substream.
    static qsizetype insertionPoint(const QVector<QPair<quint16, qsizetype>> &records, bool footer);
};

} // namespace workbook::biff
