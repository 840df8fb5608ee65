#include "workbook/biff/headerfooterrecords.h"

#include "workbook/biff/recordtypes.h"

#include <QtEndian>

namespace workbook::biff
{

namespace
{

constexpr int kMaxLength = 255;

// Records that come after HEADER and FOOTER in a worksheet's or a chart sheet's substream: the
// rest of the page settings block (Setup is in both kinds), then what follows the block. The
// records before it (calculation settings, WSBOOL, page breaks; a chart sheet's protection
// flag and pictures) are in neither list, so the first of these marks the place.
bool followsHeaderFooter(quint16 type)
{
    switch (type) {
    case rt::kHCenter:
    case rt::kVCenter:
    case rt::kLeftMargin:
    case rt::kRightMargin:
    case rt::kTopMargin:
    case rt::kBottomMargin:
    case rt::kPls:
    case rt::kSetup:
    case rt::kPrintSize:
    case rt::kHeaderFooter:
    case rt::kBkHim:
    case rt::kProtect:
    case rt::kScenarioProtect:
    case rt::kObjProtect:
    case rt::kPassword:
    case rt::kDefColWidth:
    case rt::kColInfo:
    case rt::kDimensions:
    case rt::kMsoDrawing:
    case rt::kObj:
    case rt::kUnits:
    case rt::kChart:
    case rt::kWindow2:
        return true;
    default:
        return false;
    }
}

} // namespace

bool HeaderFooterRecords::body(const QString &text, QByteArray *out, QString *reason)
{
    if (text.size() > kMaxLength) {
        if (reason)
            *reason = QStringLiteral("a header or footer holds at most %1 characters, not %2")
                          .arg(kMaxLength)
                          .arg(text.size());
        return false;
    }
    out->clear();
    if (text.isEmpty())
        return true;
    bool wide = false;
    for (const QChar ch : text)
        wide = wide || ch.unicode() > 0xFF;
    out->reserve(3 + text.size() * (wide ? 2 : 1));
    char count[2];
    qToLittleEndian(quint16(text.size()), count);
    out->append(count, 2);
    out->append(char(wide ? 0x01 : 0x00));
    if (!wide) {
        out->append(text.toLatin1());
        return true;
    }
    for (const QChar ch : text) {
        char unit[2];
        qToLittleEndian(quint16(ch.unicode()), unit);
        out->append(unit, 2);
    }
    return true;
}

qsizetype HeaderFooterRecords::insertionPoint(const QVector<QPair<quint16, qsizetype>> &records,
                                              bool footer)
{
    int depth = 0;
    bool afterHeader = false;
    for (const auto &record : records) {
        const quint16 type = record.first;
        const qsizetype offset = record.second;
        if (afterHeader)
            return offset;
        if (type == rt::kBof) {
            // An embedded chart's substream: the sheet's own block is before it.
            if (depth++ == 1)
                return offset;
            continue;
        }
        if (type == rt::kEof) {
            if (depth-- == 1)
                return offset;
            continue;
        }
        if (depth != 1)
            continue;
        if (footer && type == rt::kHeader) {
            afterHeader = true;
            continue;
        }
        if ((!footer && type == rt::kFooter) || followsHeaderFooter(type))
            return offset;
    }
    return -1;
}

} // namespace workbook::biff
