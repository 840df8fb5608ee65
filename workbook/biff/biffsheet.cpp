#include "workbook/biff/biffsheet.h"

#include "workbook/biff/biffstring.h"
#include "workbook/biff/biffworkbook.h"
#include "workbook/biff/recordreader.h"
#include "workbook/biff/recordtypes.h"

namespace workbook::biff
{

namespace
{

void setReason(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
}

} // namespace

bool BiffSheet::isDialogSheet(const BiffWorkbook &workbook, int index)
{
    RecordReader reader(workbook.streamBytes(), workbook.sheets()[index].offset);
    Record r;
    if (!reader.next(&r) || r.type != rt::kBof)
        return false;
    // WSBOOL comes among a substream's first records; a sheet without one is not read through,
    // so that many sheet entries pointing at one long substream cost no more than a few records.
    for (int seen = 0; seen < 64 && reader.next(&r); ++seen) {
        switch (r.type) {
        case rt::kWsBool:
            return r.body.u16() & 0x0010;
        case rt::kDimensions:
        case rt::kEof:
        case rt::kBof:
            return false;
        default:
            break;
        }
    }
    return false;
}

bool BiffSheet::read(const BiffWorkbook &workbook, int index, QString *reason)
{
    const BiffWorkbook::SheetEntry &entry = workbook.sheets()[index];
    RecordReader reader(workbook.streamBytes(), entry.offset);
    Record r;
    if (!reader.next(&r) || r.type != rt::kBof) {
        setReason(reason, QStringLiteral("expected a BOF record at offset %1 for sheet '%2'")
                              .arg(entry.offset)
                              .arg(entry.name));
        return false;
    }
    const quint16 version = r.body.u16();
    if (version != 0x0600) {
        setReason(reason, QStringLiteral("expected a BIFF8 sheet (BOF version 0600), found %1")
                              .arg(version, 4, 16, QLatin1Char('0')));
        return false;
    }
    int depth = 1;
    // A custom view keeps page settings of its own, which are not the sheet's.
    bool inCustomView = false;
    while (depth > 0 && reader.next(&r)) {
        cfb::ByteCursor &c = r.body;
        if (r.type == rt::kBof) {
            // A chart embedded in a worksheet is a substream of its own.
            ++depth;
            continue;
        }
        if (r.type == rt::kEof) {
            --depth;
            continue;
        }
        if (depth != 1)
            continue;
        switch (r.type) {
        case rt::kUserSViewBegin:
            inCustomView = true;
            break;
        case rt::kUserSViewEnd:
            inCustomView = false;
            break;
        case rt::kHeader:
        case rt::kFooter: {
            if (inCustomView)
                break;
            const QString text = c.size() == 0 ? QString() : BiffString::read(c, 2, r.continues);
            (r.type == rt::kHeader ? m_header : m_footer) = text;
            break;
        }
        case rt::kProtect:
            m_protected = c.u16() != 0;
            break;
        default:
            break;
        }
        if (!c.ok()) {
            setReason(reason, QStringLiteral("record %1 at offset %2 of sheet '%3' is cut short")
                                  .arg(r.type, 4, 16, QLatin1Char('0'))
                                  .arg(r.offset)
                                  .arg(entry.name));
            return false;
        }
    }
    if (!reader.error().isEmpty()) {
        setReason(reason, QStringLiteral("sheet '%1': %2").arg(entry.name, reader.error()));
        return false;
    }
    if (depth > 0) {
        setReason(reason, QStringLiteral("sheet '%1' ends without its EOF record").arg(entry.name));
        return false;
    }
    return true;
}

} // namespace workbook::biff
