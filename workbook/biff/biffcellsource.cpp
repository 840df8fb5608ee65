#include "workbook/biff/biffcellsource.h"

#include "workbook/biff/biffstring.h"
#include "workbook/biff/biffworkbook.h"
#include "workbook/biff/errorcodes.h"
#include "workbook/biff/formuladecompiler.h"
#include "workbook/biff/formulaprecheck.h"
#include "workbook/biff/recordtypes.h"
#include "workbook/biff/rknumber.h"
#include "workbook/edit/formattedtext.h"
#include "workbook/limits.h"

#include <cstring>

namespace workbook::biff
{

namespace
{

quint32 cellKey(int row, int column)
{
    return (quint32(row) << 8) | quint32(column & 0xFF);
}

// The records a sheet's walk reads: its cells and the bounds of its substreams. Rows, blanks,
// formatting and the rest are passed over by their headers.
bool isWalked(quint16 type)
{
    switch (type) {
    case rt::kBof:
    case rt::kEof:
    case rt::kLabelSst:
    case rt::kLabel:
    case rt::kRString:
    case rt::kNumber:
    case rt::kRk:
    case rt::kMulRk:
    case rt::kBoolErr:
    case rt::kFormula:
        return true;
    default:
        return false;
    }
}

} // namespace

BiffCellSource::BiffCellSource(const BiffWorkbook &workbook, int entry)
    : m_workbook(workbook), m_entry(entry), m_reader(QByteArray(), 0), m_afterFormula(0)
{
    restart();
}

bool BiffCellSource::fail(Error::Kind kind, const QString &detail)
{
    if (!m_error.isSet())
        m_error = Error{
            kind, QStringLiteral("sheet '%1': %2").arg(m_workbook.sheets()[m_entry].name, detail)};
    m_mulLeft = 0;
    m_depth = 0;
    return false;
}

QString BiffCellSource::cellName() const
{
    return QStringLiteral("R%1C%2").arg(m_row + 1).arg(m_column + 1);
}

void BiffCellSource::restart()
{
    m_error.clear();
    m_groups.clear();
    m_mulLeft = 0;
    m_cells = 0;
    m_depth = 0;
    m_plainNumbers = true;
    const BiffWorkbook::SheetEntry &entry = m_workbook.sheets()[m_entry];
    m_reader = RecordReader(m_workbook.streamBytes(), entry.offset);
    if (!m_reader.next(&m_record) || m_record.type != rt::kBof) {
        fail(Error::Kind::Damaged,
             QStringLiteral("expected a BOF record at offset %1").arg(entry.offset));
        return;
    }
    const quint16 version = m_record.body.u16();
    if (version != 0x0600) {
        fail(Error::Kind::Damaged,
             QStringLiteral("expected a BIFF8 sheet (BOF version 0600), found %1")
                 .arg(version, 4, 16, QLatin1Char('0')));
        return;
    }
    m_depth = 1;
}

bool BiffCellSource::next(edit::SourceCell *cell)
{
    cell->clear();
    m_sst = -1;
    m_inline = false;
    m_value = Value::None;
    m_inGroup = false;
    m_dataTable = false;
    m_tokensSize = -1;
    m_groupRecord = -1;
    if (m_mulLeft > 0) {
        --m_mulLeft;
        m_column = m_mulColumn++;
        cell->style = m_record.body.u16();
        m_bits = m_record.body.u32();
        m_value = Value::Rk;
    } else {
        bool found = false;
        while (!found && m_depth > 0) {
            m_reader.skipUnwanted(isWalked);
            if (!m_reader.next(&m_record))
                break;
            cfb::ByteCursor &c = m_record.body;
            if (m_record.type == rt::kBof) {
                // A chart embedded in a worksheet is a substream of its own.
                ++m_depth;
                continue;
            }
            if (m_record.type == rt::kEof) {
                --m_depth;
                continue;
            }
            if (m_depth != 1)
                continue;
            if (!m_plainNumbers && (m_record.type == rt::kNumber || m_record.type == rt::kRk ||
                                    m_record.type == rt::kMulRk)) {
                if (!passOverNumbers())
                    return false;
                continue;
            }
            switch (m_record.type) {
            case rt::kLabelSst:
            case rt::kLabel:
            case rt::kRString:
            case rt::kNumber:
            case rt::kRk:
            case rt::kBoolErr:
            case rt::kFormula:
                m_row = c.u16();
                m_column = c.u16();
                cell->style = c.u16();
                break;
            case rt::kMulRk: {
                m_row = c.u16();
                m_column = c.u16();
                const qsizetype pairs = (c.remaining() - 2) / 6;
                if (pairs < 1 || !c.ok())
                    return fail(Error::Kind::Damaged,
                                QStringLiteral("a MULRK record at offset %1 without cells")
                                    .arg(m_record.offset));
                m_mulLeft = int(pairs) - 1;
                m_mulColumn = m_column + 1;
                cell->style = c.u16();
                m_bits = c.u32();
                m_value = Value::Rk;
                found = true;
                continue;
            }
            default:
                continue;
            }
            found = true;
            switch (m_record.type) {
            case rt::kLabelSst: {
                const quint32 isst = c.u32();
                if (c.ok() && qint64(isst) >= m_workbook.sharedStringCount())
                    return fail(Error::Kind::Damaged,
                                QStringLiteral("cell %1 uses shared string %2 of a table of %3")
                                    .arg(cellName())
                                    .arg(isst)
                                    .arg(m_workbook.sharedStringCount()));
                cell->type = edit::SourceCell::Type::SharedString;
                m_sst = int(isst);
                break;
            }
            case rt::kLabel:
            case rt::kRString:
                cell->type = edit::SourceCell::Type::InlineString;
                m_inlineText = BiffString::read(c, 2, m_record.continues);
                m_inline = true;
                break;
            case rt::kNumber:
                m_bits = c.u64();
                m_value = Value::Number;
                break;
            case rt::kRk:
                m_bits = c.u32();
                m_value = Value::Rk;
                break;
            case rt::kBoolErr: {
                m_bits = c.u8();
                const bool isError = c.u8();
                m_value = isError ? Value::Error : Value::Boolean;
                cell->type =
                    isError ? edit::SourceCell::Type::Error : edit::SourceCell::Type::Boolean;
                break;
            }
            case rt::kFormula: {
                bool skip = false;
                if (!formulaCell(cell, &skip))
                    return false;
                found = !skip;
                if (skip) {
                    // Nothing of the passed-over cell may stick to the next one: a text cell
                    // after it would read as its formula or its cached number. Its views
                    // into the record end with the record.
                    cell->clear();
                    m_value = Value::None;
                    m_inGroup = false;
                    m_dataTable = false;
                    m_groupRecord = -1;
                    m_tokensSize = -1;
                }
                break;
            }
            }
            if (!c.ok())
                return fail(Error::Kind::Damaged,
                            QStringLiteral("record %1 at offset %2 is cut short")
                                .arg(m_record.type, 4, 16, QLatin1Char('0'))
                                .arg(m_record.offset));
        }
        if (!found) {
            if (m_error.isSet())
                return false;
            if (!m_reader.error().isEmpty())
                return fail(Error::Kind::Damaged, m_reader.error());
            if (m_depth > 0)
                return fail(Error::Kind::Damaged, QStringLiteral("ends without its EOF record"));
            return false;
        }
    }
    if (m_column > 0xFF)
        return fail(Error::Kind::Damaged,
                    QStringLiteral("expected a column of at most 256, found %1").arg(m_column + 1));
    if (++m_cells > limits::kMaxCellsPerPart)
        return fail(Error::Kind::BeyondLimit,
                    QStringLiteral("expected at most %1 cells").arg(limits::kMaxCellsPerPart));
    cell->row = m_row + 1;
    cell->column = m_column + 1;
    m_xf = quint16(cell->style);
    switch (m_value) {
    case Value::Number:
    case Value::Rk:
        cell->type = edit::SourceCell::Type::Number;
        break;
    case Value::Boolean:
        cell->type = edit::SourceCell::Type::Boolean;
        break;
    case Value::Error:
        cell->type = edit::SourceCell::Type::Error;
        break;
    case Value::FormulaString:
    case Value::EmptyString:
        cell->type = edit::SourceCell::Type::FormulaString;
        break;
    case Value::None:
        break;
    }
    cell->hasValue = m_value != Value::None || m_sst >= 0 || m_inline;
    return true;
}

bool BiffCellSource::passOverNumbers()
{
    cfb::ByteCursor &c = m_record.body;
    m_row = c.u16();
    m_column = c.u16();
    qint64 cells = 1;
    if (m_record.type == rt::kMulRk) {
        cells = (c.remaining() - 2) / 6;
        if (cells < 1 || !c.ok())
            return fail(
                Error::Kind::Damaged,
                QStringLiteral("a MULRK record at offset %1 without cells").arg(m_record.offset));
    } else if (!c.skip(m_record.type == rt::kNumber ? 2 + 8 : 2 + 4)) {
        return fail(Error::Kind::Damaged, QStringLiteral("record %1 at offset %2 is cut short")
                                              .arg(m_record.type, 4, 16, QLatin1Char('0'))
                                              .arg(m_record.offset));
    }
    // Cell by cell, a column past the grid fails before the count does.
    const qint64 pastGrid = qMax(0, 0x100 - m_column);
    const qint64 pastLimit = limits::kMaxCellsPerPart - m_cells;
    if (pastGrid < cells && pastGrid <= pastLimit)
        return fail(Error::Kind::Damaged,
                    QStringLiteral("expected a column of at most 256, found %1")
                        .arg(m_column + pastGrid + 1));
    if (pastLimit < cells)
        return fail(Error::Kind::BeyondLimit,
                    QStringLiteral("expected at most %1 cells").arg(limits::kMaxCellsPerPart));
    m_cells += cells;
    return true;
}

bool BiffCellSource::readGroup(const Record &r)
{
    cfb::ByteCursor c = r.body;
    Group g;
    g.isArray = r.type == rt::kArray;
    const int firstRow = c.u16();
    const int lastRow = c.u16();
    const int firstColumn = c.u8();
    const int lastColumn = c.u8();
    c.skip(g.isArray ? 2 + 4 : 2);
    const quint16 cce = c.u16();
    g.tokens = c.bytes(cce);
    g.extra = c.bytes(c.remaining());
    if (!c.ok())
        return fail(Error::Kind::Damaged, QStringLiteral("record %1 at offset %2 is cut short")
                                              .arg(r.type, 4, 16, QLatin1Char('0'))
                                              .arg(r.offset));
    g.area = edit::CellArea{firstRow + 1, firstColumn + 1, lastRow + 1, lastColumn + 1};
    g.host = cellKey(m_row, m_column);
    if (m_groups.size() >= limits::kMaxCellsPerPart)
        return fail(Error::Kind::BeyondLimit,
                    QStringLiteral("expected at most %1 cells").arg(limits::kMaxCellsPerPart));
    m_groups.insert(cellKey(firstRow, firstColumn), g);
    // The record follows the formula cell that carries it, which tExp names.
    m_groups.insert(g.host, g);
    return true;
}

bool BiffCellSource::formulaCell(edit::SourceCell *cell, bool *skip)
{
    cfb::ByteCursor &c = m_record.body;
    const quint64 result = c.u64();
    c.skip(2 + 4);
    const quint16 cce = c.u16();
    // Where the tokens and the extra data lie in the record, which stays until the next cell
    // is read; views of them are made only when asked for.
    m_tokensAt = c.position();
    if (!c.skip(cce))
        return true; // the caller reports the record cut short
    m_tokensSize = cce;
    if (quint16(result >> 48) == 0xFFFF) {
        switch (result & 0xFF) {
        case 0:
            m_value = Value::FormulaString;
            break;
        case 1:
            m_value = Value::Boolean;
            m_bits = (result >> 16) & 0xFF;
            break;
        case 2:
            m_value = Value::Error;
            m_bits = (result >> 16) & 0xFF;
            break;
        case 3:
            m_value = Value::EmptyString;
            break;
        default:
            break;
        }
    } else {
        m_value = Value::Number;
        m_bits = result;
    }
    const quint8 first = cce == 0 ? 0 : m_record.body.byteAt(m_tokensAt);
    if (first == 0x02) {
        // A cell of a data table is not searched, as in Excel's Find.
        m_dataTable = true;
        cell->formula = edit::SourceCell::Formula::DataTable;
        m_afterFormula = m_reader.position();
        return true;
    }
    if (first != 0x01) {
        cell->formula = edit::SourceCell::Formula::Normal;
        m_afterFormula = m_reader.position();
        // Tested where they lie: most formulas are passed over, and need no view made.
        quint8 verdict = 0;
        if (!mayMatch(m_record.body.dataAt(m_tokensAt), cce, false, &verdict)) {
            *skip = true;
            return true;
        }
        return decompile(ownTokens(), ownExtra(), false, &cell->formulaText);
    }
    if (cce < 5)
        return fail(Error::Kind::Damaged,
                    QStringLiteral("the formula of cell %1 is cut short").arg(cellName()));
    auto u16At = [this](qsizetype at) {
        return quint16(m_record.body.byteAt(at) | (m_record.body.byteAt(at + 1) << 8));
    };
    const quint16 hostRow = u16At(m_tokensAt + 1);
    const quint16 hostColumn = u16At(m_tokensAt + 3);
    // The shared or array formula follows the first cell that uses it.
    RecordReader peek = m_reader;
    Record r;
    if (peek.next(&r) && (r.type == rt::kShrFmla || r.type == rt::kArray)) {
        if (!readGroup(r))
            return false;
        m_reader = peek;
        m_groupRecord = r.offset;
    }
    m_afterFormula = m_reader.position();
    const quint32 key = cellKey(hostRow, hostColumn);
    const auto it = m_groups.find(key);
    if (it == m_groups.end())
        return fail(
            Error::Kind::Damaged,
            QStringLiteral("cell %1 points at a shared formula that is not there").arg(cellName()));
    m_inGroup = true;
    m_groupKey = key;
    Group &g = it.value();
    const bool isFirst = g.host == cellKey(m_row, m_column) ||
                         (g.area.top == m_row + 1 && g.area.left == m_column + 1);
    if (g.isArray) {
        cell->formula = edit::SourceCell::Formula::Array;
        if (!isFirst)
            return true;
        if (!mayMatch(g.tokens.constData(), g.tokens.size(), false, &g.verdict)) {
            *skip = true;
            return true;
        }
        cell->areaValid = true;
        cell->area = g.area;
        return decompile(g.tokens, g.extra, false, &cell->formulaText);
    }
    cell->formula = edit::SourceCell::Formula::Shared;
    if (!mayMatch(g.tokens.constData(), g.tokens.size(), true, &g.verdict)) {
        *skip = true;
        return true;
    }
    cell->shareGroup = QByteArray::number(key);
    if (g.host != cellKey(m_row, m_column))
        return true;
    cell->refGiven = true;
    cell->areaValid = true;
    cell->area = g.area;
    return decompile(g.tokens, g.extra, true, &cell->formulaText);
}

QByteArray BiffCellSource::ownTokens() const
{
    return m_tokensSize < 0 ? QByteArray() : m_record.body.viewAt(m_tokensAt, m_tokensSize);
}

QByteArray BiffCellSource::ownExtra() const
{
    if (m_tokensSize < 0)
        return QByteArray();
    const qsizetype at = m_tokensAt + m_tokensSize;
    return m_record.body.viewAt(at, m_record.body.size() - at);
}

bool BiffCellSource::mayMatch(const char *tokens, qsizetype size, bool relative, quint8 *verdict)
{
    if (!m_precheck)
        return true;
    if (*verdict == 0)
        *verdict = m_precheck->mayMatch(tokens, size, relative) ? 2 : 1;
    return *verdict == 2;
}

bool BiffCellSource::decompile(const QByteArray &tokens, const QByteArray &extra, bool relative,
                               QString *out)
{
    FormulaDecompiler::Input in;
    in.tokens = tokens;
    in.extra = extra;
    in.row = m_row;
    in.column = m_column;
    in.references = relative ? FormulaDecompiler::References::Relative
                             : FormulaDecompiler::References::Absolute;
    QString why;
    if (!FormulaDecompiler::decompile(in, m_workbook, out, &why))
        return fail(
            Error::Kind::Damaged,
            QStringLiteral("the formula of cell %1 cannot be read: %2").arg(cellName(), why));
    return true;
}

bool BiffCellSource::ownFormulaText(QString *out)
{
    out->clear();
    if (m_dataTable || m_tokensSize <= 0)
        return true;
    if (!m_inGroup)
        return decompile(ownTokens(), ownExtra(), false, out);
    const Group &g = m_groups[m_groupKey];
    if (g.isArray && !(g.host == cellKey(m_row, m_column) ||
                       (g.area.top == m_row + 1 && g.area.left == m_column + 1)))
        return true;
    return decompile(g.tokens, g.extra, !g.isArray, out);
}

BiffCellSource::Storage BiffCellSource::storage() const
{
    Storage s;
    s.record = m_record.offset;
    s.type = m_record.type;
    s.row = m_row;
    s.column = m_column;
    s.xf = m_xf;
    if (m_record.type == rt::kFormula) {
        s.groupRecord = m_groupRecord;
        if (m_value == Value::FormulaString)
            s.stringRecord = m_afterFormula;
        s.role = Role::Formula;
        if (m_dataTable) {
            s.role = Role::Other;
        } else if (m_inGroup) {
            s.group = m_groupKey;
            const Group &g = m_groups[m_groupKey];
            const bool isHost = g.host == cellKey(m_row, m_column);
            if (g.isArray)
                s.role = isHost || (g.area.top == m_row + 1 && g.area.left == m_column + 1)
                             ? Role::ArrayAnchor
                             : Role::Other;
            else
                s.role = isHost ? Role::SharedHost : Role::SharedMember;
        }
    }
    return s;
}

bool BiffCellSource::formulaTokens(QByteArray *tokens, QByteArray *extra, bool *relative) const
{
    *relative = false;
    if (m_record.type != rt::kFormula || m_dataTable)
        return false;
    if (!m_inGroup) {
        *tokens = ownTokens();
        *extra = ownExtra();
        return true;
    }
    const Group &g = m_groups[m_groupKey];
    *tokens = g.tokens;
    *extra = g.extra;
    *relative = !g.isArray;
    return true;
}

bool BiffCellSource::number(double *out) const
{
    switch (m_value) {
    case Value::Number:
        std::memcpy(out, &m_bits, sizeof *out);
        return true;
    case Value::Rk:
        *out = rkValue(quint32(m_bits));
        return true;
    case Value::Boolean:
        *out = m_bits != 0 ? 1 : 0;
        return true;
    default:
        return false;
    }
}

bool BiffCellSource::text(QString *out) const
{
    switch (m_value) {
    case Value::Error: {
        const QString error = errorCodeText(quint8(m_bits));
        *out = error.isEmpty() ? QStringLiteral("#N/A") : error;
        return true;
    }
    case Value::EmptyString:
        out->clear();
        return true;
    case Value::FormulaString: {
        // The text result is in the STRING record right after the formula's own records.
        RecordReader reader(m_workbook.streamBytes(), m_afterFormula);
        Record r;
        if (!reader.next(&r) || r.type != rt::kString)
            return false;
        *out = BiffString::read(r.body, 2, r.continues);
        return r.body.ok();
    }
    default:
        return false;
    }
}

bool BiffCellSource::inlineText(edit::FormattedText *out) const
{
    *out = edit::FormattedText();
    if (!m_inline)
        return false;
    out->runs().append(edit::FormattedText::Run{QByteArray(), m_inlineText, false});
    return true;
}

} // namespace workbook::biff
