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
    struct Header {
        int count = 0;     // characters
        bool wide = false; // of the first piece
        int runs = 0;      // rich-text runs after the characters, 4 bytes each
        qint64 phonetic = 0;
    };
    // The count, flags, run count and phonetic size before the characters; false (and the
    // cursor failed) when they do not fit.
    static bool readHeader(cfb::ByteCursor &c, int countBytes, Header *out);
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

    // count characters from the cursor, the first piece wide or not, appended to *text (or
    // only passed over when text is null); *cut (if given) is set when a CONTINUE boundary
    // cuts them. False (and the cursor failed) when they do not fit.
    static bool walk(cfb::ByteCursor &c, int count, bool wide, const QVector<qsizetype> &continues,
                     QString *text, bool *cut);

private:
    static QString chars(cfb::ByteCursor &c, int count, bool wide,
                         const QVector<qsizetype> &continues);
};

} // namespace workbook::biff
