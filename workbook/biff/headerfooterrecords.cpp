#include "workbook/biff/headerfooterrecords.h"

#include "workbook/biff/recordtypes.h"

#include <QtEndian>

namespace workbook::biff
{

namespace
{

constexpr int kMaxLength = 255;

// HEADER and FOOTER open the page settings block, in a worksheet and a chart sheet alike;
// these records make up the rest of it (SETUP is in every block Excel writes).
bool inPageSettings(quint16 type)
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
        return true;
    default:
        return false;
    }
}

// What comes before the block: a worksheet's calculation and print settings, WSBOOL and the
// page breaks; a chart sheet's write protection.
bool precedesPageSettings(quint16 type)
{
    switch (type) {
    case rt::kUncalced:
    case rt::kIndex:
    case rt::kCalcCount:
    case rt::kCalcMode:
    case rt::kRefMode:
    case rt::kDelta:
    case rt::kIteration:
    case rt::kSaveRecalc:
    case rt::kPrintHeaders:
    case rt::kPrintGridlines:
    case rt::kGuts:
    case rt::kWsBool:
    case rt::kGridSet:
    case rt::kSync:
    case rt::kLPr:
    case rt::kHorizontalPageBreaks:
    case rt::kVerticalPageBreaks:
    case rt::kWriteProtect:
    case rt::kDefaultRowHeight:
        return true;
    default:
        return false;
    }
}

// What follows the block, for a sheet that has none of it.
bool followsPageSettings(quint16 type)
{
    switch (type) {
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
    // Into the block where it exists; else after what precedes it; else before what follows
    // it; else before the sheet's EOF.
    qsizetype afterPreceding = -1;
    qsizetype firstFollowing = -1;
    int depth = 0;
    for (int i = 0; i < records.size(); ++i) {
        const quint16 type = records[i].first;
        const qsizetype offset = records[i].second;
        const qsizetype next = i + 1 < records.size() ? records[i + 1].second : -1;
        if (type == rt::kBof) {
            // An embedded chart's substream, with page settings of its own.
            if (depth++ == 1 && firstFollowing < 0)
                firstFollowing = offset;
            continue;
        }
        if (type == rt::kEof) {
            if (depth-- != 1)
                continue;
            if (afterPreceding >= 0)
                return afterPreceding;
            return firstFollowing >= 0 ? firstFollowing : offset;
        }
        if (depth != 1)
            continue;
        if (footer && type == rt::kHeader)
            return next;
        if ((!footer && type == rt::kFooter) || inPageSettings(type))
            return offset;
        if (precedesPageSettings(type))
            afterPreceding = next;
        else if (followsPageSettings(type) && firstFollowing < 0)
            firstFollowing = offset;
    }
    return -1;
}

} // namespace workbook::biff
