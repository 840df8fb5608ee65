#include "workbook/biff/biffsheet.h"

#include "workbook/biff/biffstring.h"
#include "workbook/biff/biffworkbook.h"
#include "workbook/biff/recordreader.h"
#include "workbook/biff/recordtypes.h"
#include "workbook/limits.h"

#include <cstring>

namespace workbook::biff
{

namespace
{

void setReason(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
}

double rkValue(quint32 rk)
{
    double v;
    if (rk & 0x02) {
        v = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 0x01) ? v / 100.0 : v;
}

quint32 cellKey(quint16 row, quint16 column)
{
    return (quint32(row) << 8) | (column & 0xFF);
}

} // namespace

bool BiffSheet::isDialogSheet(const BiffWorkbook &workbook, int index)
{
    RecordReader reader(workbook.stream(), workbook.sheets()[index].offset);
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

const BiffSheet::SharedFormula *BiffSheet::sharedFormula(quint16 row, quint16 column) const
{
    const auto it = m_sharedByCell.constFind(cellKey(row, column));
    return it == m_sharedByCell.constEnd() ? nullptr : &m_shared[it.value()];
}

bool BiffSheet::read(const BiffWorkbook &workbook, int index, QString *reason)
{
    const BiffWorkbook::SheetEntry &entry = workbook.sheets()[index];
    RecordReader reader(workbook.stream(), entry.offset);
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
    const int sstSize = workbook.sharedStrings().size();
    int depth = 1;
    int lastFormulaCell = -1;
    auto addCell = [&](Cell cell) {
        if (m_cells.size() >= limits::kMaxCellsPerPart)
            return false;
        m_cells.append(cell);
        return true;
    };
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
        bool ok = true;
        Cell cell;
        switch (r.type) {
        case rt::kLabelSst: {
            cell.row = c.u16();
            cell.column = c.u16();
            cell.xf = c.u16();
            const quint32 isst = c.u32();
            if (c.ok() && qint64(isst) >= sstSize) {
                setReason(reason, QStringLiteral("cell %1,%2 uses shared string %3 of a table of "
                                                 "%4")
                                      .arg(cell.row)
                                      .arg(cell.column)
                                      .arg(isst)
                                      .arg(sstSize));
                return false;
            }
            cell.kind = CellKind::SharedString;
            cell.index = int(isst);
            ok = c.ok() && addCell(cell);
            break;
        }
        case rt::kLabel:
        case rt::kRString:
            cell.row = c.u16();
            cell.column = c.u16();
            cell.xf = c.u16();
            cell.kind = CellKind::InlineString;
            cell.index = m_inlineStrings.size();
            m_inlineStrings.append(BiffString::read(c, 2, r.continues));
            ok = c.ok() && addCell(cell);
            break;
        case rt::kNumber:
            cell.row = c.u16();
            cell.column = c.u16();
            cell.xf = c.u16();
            cell.number = c.f64();
            ok = c.ok() && addCell(cell);
            break;
        case rt::kRk:
            cell.row = c.u16();
            cell.column = c.u16();
            cell.xf = c.u16();
            cell.number = rkValue(c.u32());
            ok = c.ok() && addCell(cell);
            break;
        case rt::kMulRk: {
            cell.row = c.u16();
            const quint16 first = c.u16();
            const qsizetype pairs = (c.remaining() - 2) / 6;
            for (qsizetype i = 0; i < pairs && ok; ++i) {
                cell.column = quint16(first + i);
                cell.xf = c.u16();
                cell.number = rkValue(c.u32());
                ok = c.ok() && addCell(cell);
            }
            ok = ok && c.ok() && pairs >= 0;
            break;
        }
        case rt::kBoolErr:
            cell.row = c.u16();
            cell.column = c.u16();
            cell.xf = c.u16();
            cell.code = c.u8();
            cell.kind = c.u8() ? CellKind::Error : CellKind::Boolean;
            ok = c.ok() && addCell(cell);
            break;
        case rt::kFormula: {
            cell.row = c.u16();
            cell.column = c.u16();
            cell.xf = c.u16();
            c.skip(8 + 2 + 4);
            const quint16 cce = c.u16();
            Formula f;
            f.tokens = c.bytes(cce);
            f.extra = c.bytes(c.remaining());
            if (!c.ok())
                break;
            cfb::ByteCursor t(f.tokens);
            const quint8 first = t.u8();
            f.dataTable = first == 0x02;
            if (first == 0x01) {
                f.pointsElsewhere = true;
                f.hostRow = t.u16();
                f.hostColumn = t.u16();
                f.tokens.clear();
            }
            cell.kind = CellKind::Formula;
            cell.index = m_formulas.size();
            m_formulas.append(f);
            lastFormulaCell = m_cells.size();
            ok = addCell(cell);
            break;
        }
        case rt::kShrFmla:
        case rt::kArray: {
            SharedFormula s;
            s.isArray = r.type == rt::kArray;
            s.firstRow = c.u16();
            s.lastRow = c.u16();
            s.firstColumn = c.u8();
            s.lastColumn = c.u8();
            c.skip(s.isArray ? 2 + 4 : 2);
            const quint16 cce = c.u16();
            s.tokens = c.bytes(cce);
            s.extra = c.bytes(c.remaining());
            if (!c.ok())
                break;
            const int at = m_shared.size();
            m_shared.append(s);
            m_sharedByCell.insert(cellKey(s.firstRow, s.firstColumn), at);
            // The record follows the formula cell that carries it, which tExp names.
            if (lastFormulaCell >= 0) {
                const Cell &host = m_cells[lastFormulaCell];
                m_sharedByCell.insert(cellKey(host.row, host.column), at);
            }
            break;
        }
        case rt::kHeader:
        case rt::kFooter: {
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
        if (!ok) {
            setReason(reason, QStringLiteral("expected at most %1 cells in sheet '%2'")
                                  .arg(limits::kMaxCellsPerPart)
                                  .arg(entry.name));
            return false;
        }
        if (cell.column > 0xFF) {
            setReason(reason, QStringLiteral("expected a column of at most 256 in sheet '%1', "
                                             "found %2")
                                  .arg(entry.name)
                                  .arg(cell.column + 1));
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
