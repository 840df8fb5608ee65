#pragma once

#include "workbook/cfb/bytecursor.h"

#include <QString>
#include <QVector>

namespace workbook::biff
{

// The unicode strings of BIFF8 records: a character count, a flags byte (wide or compressed
// characters, rich-text runs, phonetic block) and the characters. Where the record was
// continued, characters cut at a CONTINUE boundary go on after a new flags byte there.
class BiffString
{
public:
    // countBytes: 1 (ShortXLUnicodeString) or 2 (XLUnicodeString and the string table's
    // XLUnicodeRichExtendedString). Rich-text runs and phonetic blocks are skipped.
    // Empty and the cursor failed when the string does not fit its record.
    static QString read(cfb::ByteCursor &c, int countBytes,
                        const QVector<qsizetype> &continues = {});
    // Moves past such a string without building its text; false (and the cursor failed) when
    // it does not fit its record.
    static bool skip(cfb::ByteCursor &c, int countBytes, const QVector<qsizetype> &continues = {});
    // Characters only, the flags byte first (XLUnicodeStringNoCch).
    static QString readNoCount(cfb::ByteCursor &c, int count,
                               const QVector<qsizetype> &continues = {});

private:
    static QString chars(cfb::ByteCursor &c, int count, bool wide,
                         const QVector<qsizetype> &continues);
};

} // namespace workbook::biff
