#include "workbook/biff/biffcellsink.h"

#include "workbook/biff/biffstringtable.h"
#include "workbook/biff/biffworkbook.h"
#include "workbook/biff/errorcodes.h"
#include "workbook/biff/formulacompiler.h"
#include "workbook/biff/recordreader.h"
#include "workbook/biff/recordtypes.h"
#include "workbook/biff/rknumber.h"
#include "workbook/cfb/bytewriter.h"

#include <cmath>
#include <cstring>

namespace workbook::biff
{

namespace
{

using Role = BiffCellSource::Role;

// FORMULA grbit: recalculate whenever the workbook is calculated.
constexpr quint16 kAlwaysCalc = 0x0001;

QByteArray cellHeader(int row, int column, quint16 xf)
{
    QByteArray out;
    out.reserve(16);
    cfb::appendU16(out, quint16(row));
    cfb::appendU16(out, quint16(column));
    cfb::appendU16(out, xf);
    return out;
}

// A formula's cached result once the formula changed: an empty text, which needs no STRING
// record. Excel and the readers compute the real one.
QByteArray droppedResult()
{
    return QByteArray("\x03\x00\x00\x00\x00\x00\xFF\xFF", 8);
}

// The RK that gives back exactly value (bit for bit), in the order Excel tries them.
bool rkFor(double value, quint32 *out)
{
    const auto exact = [value](quint32 rk) {
        const double back = rkValue(rk);
        return std::memcmp(&back, &value, sizeof value) == 0;
    };
    const auto asInteger = [](double v, quint32 *rk) {
        if (!(v >= -536870912.0 && v <= 536870911.0) || v != std::floor(v))
            return false;
        *rk = (quint32(qint32(v)) << 2) | 0x02;
        return true;
    };
    const auto asDouble = [](double v, quint32 *rk) {
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        if (bits & 0x3FFFFFFFFull)
            return false;
        *rk = quint32(bits >> 32) & 0xFFFFFFFCu;
        return true;
    };
    quint32 rk = 0;
    if ((asInteger(value, &rk) && exact(rk)) || (asDouble(value, &rk) && exact(rk)))
        return *out = rk, true;
    const double hundred = value * 100.0;
    if ((asInteger(hundred, &rk) && exact(rk | 0x01)) ||
        (asDouble(hundred, &rk) && exact(rk | 0x01)))
        return *out = rk | 0x01, true;
    return false;
}

QString cellName(int row, int column)
{
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QLatin1Char(char('A' + (c - 1) % 26)));
    return letters + QString::number(row + 1);
}

bool readRecord(const QByteArray &stream, qsizetype offset, Record *out)
{
    RecordReader reader(stream, offset);
    return reader.next(out);
}

NewRecord formulaRecord(int row, int column, quint16 xf, const QByteArray &tokens,
                        const QByteArray &extra)
{
    QByteArray body = cellHeader(row, column, xf);
    body += droppedResult();
    cfb::appendU16(body, kAlwaysCalc);
    cfb::appendU32(body, 0);
    cfb::appendU16(body, quint16(tokens.size()));
    body += tokens;
    body += extra;
    return NewRecord{rt::kFormula, body};
}

} // namespace

BiffCellSink::BiffCellSink(BiffCellSource &cells, const BiffWorkbook &workbook, int entry,
                           BiffStringTable &strings)
    : m_cells(cells), m_workbook(workbook), m_entry(entry), m_strings(strings)
{
}

BiffCellSink::Change &BiffCellSink::change(Kind kind)
{
    const BiffCellSource::Storage at = m_cells.storage();
    Change &c = m_changes[at.record][at.column];
    c = Change();
    c.at = at;
    c.kind = kind;
    return c;
}

bool BiffCellSink::refuse(const QString &why)
{
    if (!m_error.isSet()) {
        const BiffCellSource::Storage at = m_cells.storage();
        m_error = Error{Error::Kind::CannotChange,
                        QStringLiteral("cell %1: %2").arg(cellName(at.row, at.column), why)};
    }
    return false;
}

void BiffCellSink::setEmpty()
{
    change(Kind::Empty);
}

void BiffCellSink::setText(const QString &text)
{
    edit::FormattedText t;
    t.runs().append(edit::FormattedText::Run{QByteArray(), text, false});
    setFormattedText(t);
}

void BiffCellSink::setFormattedText(const edit::FormattedText &text)
{
    if (text.plainText().size() > 0xFFFF) {
        refuse(QStringLiteral("a text of more than 65,535 characters cannot be stored"));
        return;
    }
    change(Kind::Text).text = text;
}

void BiffCellSink::setNumber(double value)
{
    change(Kind::Number).number = value;
}

void BiffCellSink::setBoolean(bool value)
{
    change(Kind::Boolean).code = value ? 1 : 0;
}

void BiffCellSink::setError(const QString &value)
{
    for (int code = 0; code < 0x100; ++code) {
        if (!errorCodeText(quint8(code)).isEmpty() &&
            errorCodeText(quint8(code)).compare(value, Qt::CaseInsensitive) == 0) {
            change(Kind::Error).code = quint8(code);
            return;
        }
    }
    refuse(QStringLiteral("'%1' is no error value a cell can hold").arg(value));
}

bool BiffCellSink::compile(const QString &formula, bool array, bool checkOriginal, Change *c)
{
    QString why;
    FormulaCompiler::Options options;
    options.kind = array ? FormulaCompiler::Kind::Array : FormulaCompiler::Kind::Cell;
    options.sheet = m_entry;
    if (checkOriginal) {
        // A formula the compiler would not give back as stored is left alone: rewriting it
        // from its text could change what it means.
        FormulaCompiler::Stored stored;
        bool relative = false;
        if (m_cells.formulaTokens(&stored.tokens, &stored.extra, &relative)) {
            stored.row = c->at.row;
            stored.column = c->at.column;
            stored.shared = relative;
            stored.options = options;
            if (!FormulaCompiler::roundTrips(stored, m_workbook, m_workbook, &why))
                return refuse(
                    QStringLiteral("its formula could not be written back as stored: %1").arg(why));
        }
    }
    FormulaCompiler::Output out;
    if (!FormulaCompiler::compile(formula, m_workbook, options, &out, &why))
        return refuse(QStringLiteral("the formula '=%1' cannot be stored: %2").arg(formula, why));
    if (out.tokens.size() > 0xFFFF || out.extra.size() > 0x2000)
        return refuse(QStringLiteral("the formula '=%1' is too long to be stored").arg(formula));
    c->tokens = out.tokens;
    c->extra = out.extra;
    return true;
}

void BiffCellSink::setFormula(const QString &formula, bool keepArray)
{
    Change c;
    c.at = m_cells.storage();
    const bool anchor = c.at.role == Role::ArrayAnchor;
    if (anchor != keepArray) {
        refuse(anchor ? QStringLiteral("the first cell of an array formula keeps its array")
                      : QStringLiteral("the cell is no array formula's first cell"));
        return;
    }
    if (c.at.role == Role::Other) {
        refuse(QStringLiteral("a cell of an array formula or data table cannot change alone"));
        return;
    }
    c.kind = anchor ? Kind::ArrayFormula : Kind::Formula;
    if (!compile(formula, anchor, c.at.role != Role::Value, &c))
        return;
    m_changes[c.at.record][c.at.column] = c;
    m_formulaWritten = true;
}

void BiffCellSink::keepOwnFormula(const QString &formula)
{
    Change c;
    c.at = m_cells.storage();
    c.kind = Kind::Formula;
    if (!compile(formula, false, true, &c))
        return;
    m_changes[c.at.record][c.at.column] = c;
    m_formulaWritten = true;
}

NewRecord BiffCellSink::numberRecord(int row, int column, quint16 xf, double value)
{
    QByteArray body = cellHeader(row, column, xf);
    quint32 rk = 0;
    if (rkFor(value, &rk)) {
        cfb::appendU32(body, rk);
        return NewRecord{rt::kRk, body};
    }
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    cfb::appendU32(body, quint32(bits & 0xFFFFFFFFu));
    cfb::appendU32(body, quint32(bits >> 32));
    return NewRecord{rt::kNumber, body};
}

bool BiffCellSink::cellRecords(const Change &c, QVector<NewRecord> *out, qint64 *usesDelta)
{
    const int row = c.at.row;
    const int column = c.at.column;
    const quint16 xf = c.at.xf;
    QByteArray body = cellHeader(row, column, xf);
    switch (c.kind) {
    case Kind::Empty:
        out->append(NewRecord{rt::kBlank, body});
        return true;
    case Kind::Text: {
        // One new item per distinct text, however many cells take it.
        const QByteArray encoded = BiffStringTable::encode(c.text);
        auto it = m_newStrings.constFind(encoded);
        if (it == m_newStrings.constEnd())
            it = m_newStrings.insert(encoded, m_strings.append(c.text));
        const int index = it.value();
        if (m_strings.hasUseCounts() && index < m_strings.useCounts().size())
            ++m_strings.useCounts()[index];
        cfb::appendU32(body, quint32(index));
        out->append(NewRecord{rt::kLabelSst, body});
        ++*usesDelta;
        return true;
    }
    case Kind::Number:
        out->append(numberRecord(row, column, xf, c.number));
        return true;
    case Kind::Boolean:
    case Kind::Error:
        body.append(char(c.code));
        body.append(char(c.kind == Kind::Error ? 1 : 0));
        out->append(NewRecord{rt::kBoolErr, body});
        return true;
    case Kind::Formula:
        out->append(formulaRecord(row, column, xf, c.tokens, c.extra));
        return true;
    case Kind::ArrayFormula: {
        // The anchor keeps pointing at its ARRAY record; only its cached result goes.
        Record r;
        if (!readRecord(m_workbook.stream(), c.at.record, &r) || r.type != rt::kFormula ||
            r.body.size() < 20)
            return false;
        QByteArray old = r.body.bytes(r.body.size());
        old.replace(6, 8, droppedResult());
        const quint16 grbit = quint16(quint8(old[14]) | (quint8(old[15]) << 8)) | kAlwaysCalc;
        old[14] = char(grbit & 0xFF);
        old[15] = char(grbit >> 8);
        out->append(NewRecord{rt::kFormula, old});
        return true;
    }
    }
    return false;
}

bool BiffCellSink::splitMulRk(qsizetype offset, const QMap<int, Change> &changes,
                              QVector<NewRecord> *out, qint64 *usesDelta, QString *why)
{
    Record r;
    if (!readRecord(m_workbook.stream(), offset, &r) || r.type != rt::kMulRk) {
        *why = QStringLiteral("expected a MULRK record at offset %1").arg(offset);
        return false;
    }
    cfb::ByteCursor &c = r.body;
    const quint16 row = c.u16();
    const int first = c.u16();
    const int count = int((c.remaining() - 2) / 6);
    struct Cell {
        quint16 xf;
        quint32 rk;
    };
    QVector<Cell> run;
    int runStart = first;
    const auto flush = [&]() {
        if (run.size() == 1) {
            QByteArray body = cellHeader(row, runStart, run[0].xf);
            cfb::appendU32(body, run[0].rk);
            out->append(NewRecord{rt::kRk, body});
        } else if (run.size() > 1) {
            QByteArray body;
            cfb::appendU16(body, row);
            cfb::appendU16(body, quint16(runStart));
            for (const Cell &cell : qAsConst(run)) {
                cfb::appendU16(body, cell.xf);
                cfb::appendU32(body, cell.rk);
            }
            cfb::appendU16(body, quint16(runStart + run.size() - 1));
            out->append(NewRecord{rt::kMulRk, body});
        }
        run.clear();
    };
    for (int i = 0; i < count; ++i) {
        const Cell cell{c.u16(), c.u32()};
        const auto changed = changes.constFind(first + i);
        if (changed == changes.constEnd()) {
            if (run.isEmpty())
                runStart = first + i;
            run.append(cell);
            continue;
        }
        flush();
        if (!cellRecords(changed.value(), out, usesDelta)) {
            *why = QStringLiteral("the MULRK record at offset %1 cannot be split").arg(offset);
            return false;
        }
    }
    flush();
    if (!c.ok()) {
        *why = QStringLiteral("the MULRK record at offset %1 is cut short").arg(offset);
        return false;
    }
    return true;
}

bool BiffCellSink::sharedGroupDone(const Change &host, QString *why) const
{
    // A shared formula whose first cell changed is gone only when every cell that used it
    // has its own formula now.
    RecordReader reader(m_workbook.stream(), host.at.record);
    Record r;
    int depth = 1;
    const int hostRow = int(host.at.group >> 8);
    const int hostColumn = int(host.at.group & 0xFF);
    while (depth > 0 && reader.next(&r)) {
        if (r.type == rt::kBof) {
            ++depth;
            continue;
        }
        if (r.type == rt::kEof) {
            --depth;
            continue;
        }
        if (depth != 1 || r.type != rt::kFormula)
            continue;
        cfb::ByteCursor &c = r.body;
        const int row = c.u16();
        const int column = c.u16();
        c.skip(2 + 8 + 2 + 4);
        const quint16 cce = c.u16();
        if (!c.ok() || cce < 5 || c.u8() != 0x01)
            continue;
        const int pointsRow = c.u16();
        const int pointsColumn = c.u16();
        if (!c.ok() || pointsRow != hostRow || pointsColumn != (hostColumn & 0xFF))
            continue;
        const auto changed = m_changes.constFind(r.offset);
        if (changed == m_changes.constEnd() || !changed.value().contains(column)) {
            *why = QStringLiteral("cell %1 shares the formula of cell %2 and could not be given "
                                  "its own")
                       .arg(cellName(row, column), cellName(host.at.row, host.at.column));
            return false;
        }
    }
    return true;
}

bool BiffCellSink::finish(StreamEdits *edits, qint64 *usesDelta, Error *error)
{
    *usesDelta = 0;
    if (m_error.isSet()) {
        if (error)
            *error = m_error;
        return false;
    }
    const QByteArray &stream = m_workbook.stream();
    const QString sheet = m_workbook.sheets()[m_entry].name;
    const auto cannot = [&](const QString &why) {
        return fail(error, Error::Kind::CannotChange, why);
    };
    for (auto it = m_changes.constBegin(); it != m_changes.constEnd(); ++it) {
        const qsizetype offset = it.key();
        const Change &first = it.value().first();
        QVector<NewRecord> records;
        QString why;
        if (first.at.type == rt::kMulRk) {
            if (!splitMulRk(offset, it.value(), &records, usesDelta, &why))
                return cannot(why);
            edits->replaced.insert(offset, records);
            continue;
        }
        if (!cellRecords(first, &records, usesDelta))
            return cannot(QStringLiteral("cell %1: its record cannot be rewritten")
                              .arg(cellName(first.at.row, first.at.column)));
        if (first.at.type == rt::kLabelSst)
            --*usesDelta;
        edits->replaced.insert(offset, records);
        if (first.at.type != rt::kFormula)
            continue;
        // The cached text result goes with the cached value.
        Record r;
        if (first.at.stringRecord >= 0 && readRecord(stream, first.at.stringRecord, &r) &&
            r.type == rt::kString)
            edits->replaced.insert(first.at.stringRecord, {});
        if (first.at.role == Role::SharedHost && first.at.groupRecord >= 0) {
            if (!sharedGroupDone(first, &why))
                return cannot(why);
            edits->replaced.insert(first.at.groupRecord, {});
        }
        if (first.kind == Kind::ArrayFormula) {
            if (first.at.groupRecord < 0 || !readRecord(stream, first.at.groupRecord, &r) ||
                r.type != rt::kArray || r.body.size() < 14)
                return cannot(QStringLiteral("cell %1: its array formula record is missing")
                                  .arg(cellName(first.at.row, first.at.column)));
            QByteArray body = r.body.bytes(6);
            const quint16 grbit = r.body.u16() | kAlwaysCalc;
            cfb::appendU16(body, grbit);
            cfb::appendU32(body, r.body.u32());
            cfb::appendU16(body, quint16(first.tokens.size()));
            body += first.tokens;
            body += first.extra;
            edits->replaced.insert(first.at.groupRecord, {NewRecord{rt::kArray, body}});
        }
    }
    if (m_formulaWritten) {
        // Excel recalculates a sheet marked UNCALCED, which comes right after its BOF.
        Record bof, next;
        const qsizetype at = m_workbook.sheets()[m_entry].offset;
        RecordReader reader(stream, at);
        if (!reader.next(&bof) || !reader.next(&next))
            return cannot(QStringLiteral("sheet '%1' has no records after its BOF").arg(sheet));
        if (next.type != rt::kUncalced && !edits->insertedBefore.contains(next.offset))
            edits->insertedBefore.insert(next.offset,
                                         {NewRecord{rt::kUncalced, QByteArray(2, '\0')}});
    }
    return true;
}

} // namespace workbook::biff
