#pragma once

#include "workbook/biff/streamedits.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace workbook::biff
{

// Writes the shared string table anew: an SST record and the CONTINUE records it needs, cut
// where Excel cuts them, and the EXTSST record that indexes it.
class SstWriter
{
public:
    // Appends SST and its CONTINUE records to `stream`, whose end is where they land. Each
    // string is one XLUnicodeRichExtendedString; false with *reason when one is malformed.
    bool append(const StringItems &strings, quint32 uses, QByteArray *stream, QString *reason);
    // The EXTSST record (header included) for the strings appended last.
    QByteArray extSst() const;

    // The strings in each EXTSST set, as Excel computes it from the number of strings.
    static quint16 stringsPerSet(qsizetype strings);

private:
    struct SetStart {
        quint32 position; // in the stream
        quint16 offset;   // from the header of the record holding it
    };
    quint16 m_perSet = 8;
    QVector<SetStart> m_sets;
};

} // namespace workbook::biff
