#include "workbook/biff/streamrebuilder.h"

#include "workbook/biff/recordtypes.h"
#include "workbook/biff/sstwriter.h"
#include "workbook/cfb/bytecursor.h"
#include "workbook/cfb/bytewriter.h"

#include <QHash>
#include <algorithm>
#include <vector>

namespace workbook::biff
{

namespace
{

constexpr qsizetype kMaxBody = 8224;
// How much of the original is copied at least at a time, and between two reports of it.
constexpr qsizetype kCopyStep = qsizetype(1) << 20;

// The records that hold a cell; DBCELL points at the first of each row.
bool isCell(quint16 type)
{
    switch (type) {
    case rt::kFormula:
    case rt::kBlank:
    case rt::kMulBlank:
    case rt::kRk:
    case rt::kMulRk:
    case rt::kNumber:
    case rt::kLabelSst:
    case rt::kLabel:
    case rt::kRString:
    case rt::kBoolErr:
        return true;
    default:
        return false;
    }
}

// Records that bound substreams or point into them. Edits never replace or add them, so the
// old and the new stream hold them in step and their positions can be paired.
bool isStructural(quint16 type)
{
    switch (type) {
    case rt::kBof:
    case rt::kEof:
    case rt::kIndex:
    case rt::kDbCell:
    case rt::kSst:
    case rt::kExtSst:
        return true;
    default:
        return false;
    }
}

QString hex(quint16 type)
{
    return QStringLiteral("%1").arg(type, 4, 16, QLatin1Char('0'));
}

quint32 u32At(const QByteArray &bytes, qsizetype at)
{
    cfb::ByteCursor c(bytes, at, 4);
    return c.u32();
}

quint16 u16At(const QByteArray &bytes, qsizetype at)
{
    cfb::ByteCursor c(bytes, at, 2);
    return c.u16();
}

// Where one stream puts a row block: its ROW records and the first cell record of each row.
// Kept small: a stream without DBCELL records makes one block of all its rows.
class RowBlock
{
public:
    void clear()
    {
        if (!m_index.empty()) {
            for (const quint16 row : m_rows)
                m_index[row] = -1;
        }
        m_rows.clear();
        m_firstCells.clear();
        m_lastCellRow = -1;
    }
    void addRow(quint16 row, qsizetype at, qsizetype end)
    {
        if (m_rows.empty()) {
            m_firstAt = at;
            m_firstEnd = end;
        }
        if (!m_index.empty() && m_index[row] < 0)
            m_index[row] = qint32(m_rows.size());
        m_rows.push_back(row);
        m_firstCells.push_back(-1);
        // Past a few dozen rows a lookup by row number beats a search.
        if (m_index.empty() && m_rows.size() > kSearchedRows) {
            m_index.assign(0x10000, -1);
            for (qsizetype i = qsizetype(m_rows.size()) - 1; i >= 0; --i)
                m_index[m_rows[size_t(i)]] = qint32(i);
        }
    }
    void addCell(quint16 row, qsizetype at)
    {
        if (row == m_lastCellRow)
            return;
        m_lastCellRow = row;
        const qsizetype i = find(row);
        if (i >= 0 && m_firstCells[size_t(i)] < 0)
            m_firstCells[size_t(i)] = qint32(at);
    }
    // DBCELL's fields for a DBCELL at `at` as Excel computes them: dbRtrw back to the first ROW,
    // then for each ROW record where its cells start, the first from the end of the first ROW
    // record and each other from the one before. A row without cells points where they would
    // be, at the next row's cells or at the DBCELL. Empty when the block has no rows.
    QVector<qint64> fields(qsizetype at) const
    {
        QVector<qint64> f;
        if (m_rows.empty())
            return f;
        const qsizetype n = qsizetype(m_rows.size());
        f.reserve(n + 1);
        f.append(at - m_firstAt);
        QVector<qint64> starts(n);
        qint64 next = at;
        for (qsizetype i = n - 1; i >= 0; --i) {
            const qint64 cell = m_firstCells[size_t(i)];
            starts[i] = cell >= 0 ? cell : next;
            next = starts[i];
        }
        qint64 previous = m_firstEnd;
        for (const qint64 s : starts) {
            f.append(s - previous);
            previous = s;
        }
        return f;
    }

private:
    static constexpr size_t kSearchedRows = 64;

    // The first of the block's ROW records for that row, or -1.
    qsizetype find(quint16 row) const
    {
        if (!m_index.empty())
            return m_index[row];
        for (size_t i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i] == row)
                return qsizetype(i);
        }
        return -1;
    }

    qsizetype m_firstAt = 0;  // the first ROW record
    qsizetype m_firstEnd = 0; // and its end
    std::vector<quint16> m_rows;
    std::vector<qint32> m_firstCells; // per ROW record, -1 until a cell of its row is seen
    std::vector<qint32> m_index;      // row number -> first ROW record, once the block is large
    int m_lastCellRow = -1;
};

// A substream being written, with the positions its INDEX points at in both streams.
struct Substream {
    RowBlock oldBlock;
    RowBlock newBlock;
    qsizetype oldIndex = -1;
    qsizetype newIndex = -1;
    qsizetype oldDefColWidth = -1;
    qsizetype newDefColWidth = -1;
    QVector<qsizetype> oldDbCells;
    QVector<qsizetype> newDbCells;
};

class Rebuild
{
public:
    Rebuild(const QByteArray &stream, const StreamEdits &edits,
            const std::function<void(qsizetype)> &copied)
        : m_stream(stream), m_in(stream), m_edits(edits), m_copied(copied)
    {
    }

    bool run(QByteArray *out, QString *reason);

private:
    bool fail(const QString &why)
    {
        m_reason = why;
        return false;
    }
    qsizetype newPosition(qsizetype old) const { return m_out.size() + (old - m_copyFrom); }
    void flush(qsizetype upTo);
    bool writeNew(const NewRecord &record);
    bool writeStrings();
    bool original(quint16 type, qsizetype at, qsizetype end, qsizetype length);
    void seeOld(quint16 type, qsizetype at, qsizetype end, quint16 row);
    void seeNew(quint16 type, qsizetype at, qsizetype end, quint16 row);
    void patchDbCell(qsizetype at, qsizetype length, qsizetype newAt);
    void patchIndex(const Substream &s);
    void patchExtSst(qsizetype newAt, qsizetype length);
    void patchBoundSheets();

    const QByteArray &m_stream;
    cfb::ByteCursor m_in;
    const StreamEdits &m_edits;
    const std::function<void(qsizetype)> &m_copied;
    qsizetype m_reported = 0; // the last position told to m_copied
    QByteArray m_out;
    QString m_reason;
    qsizetype m_copyFrom = 0; // original bytes from here on are still to be copied
    QVector<Substream> m_open;
    int m_substreams = 0;
    QHash<qsizetype, qsizetype> m_bofMoved; // top-level BOF: old position -> new
    QVector<qsizetype> m_boundSheets;       // new positions
    qsizetype m_oldSst = -1, m_oldSstEnd = -1, m_newSst = -1;
    bool m_stringsWritten = false;
};

void Rebuild::flush(qsizetype upTo)
{
    if (upTo <= m_copyFrom)
        return;
    m_in.seek(m_copyFrom);
    m_out.append(m_in.view(upTo - m_copyFrom));
    m_copyFrom = upTo;
    if (m_copied && m_copyFrom - m_reported >= kCopyStep) {
        m_reported = m_copyFrom;
        m_copied(m_reported);
    }
}

bool Rebuild::writeNew(const NewRecord &record)
{
    if (record.body.size() > kMaxBody)
        return fail(QStringLiteral("a new record %1 of %2 bytes, expected at most %3")
                        .arg(hex(record.type))
                        .arg(record.body.size())
                        .arg(kMaxBody));
    if (isStructural(record.type))
        return fail(QStringLiteral("a new record %1, which edits never add").arg(hex(record.type)));
    const qsizetype at = m_out.size();
    m_out.append(char(record.type & 0xFF));
    m_out.append(char(record.type >> 8));
    m_out.append(char(record.body.size() & 0xFF));
    m_out.append(char(record.body.size() >> 8));
    m_out.append(record.body);
    seeNew(record.type, at, m_out.size(), u16At(record.body, 0));
    return true;
}

bool Rebuild::writeStrings()
{
    SstWriter writer;
    QString why;
    const StringList list(m_edits.strings);
    const StringItems &items = m_edits.stringItems ? *m_edits.stringItems : list;
    if (!writer.append(items, m_edits.stringUses, &m_out, &why))
        return fail(why);
    m_out.append(writer.extSst());
    m_stringsWritten = true;
    return true;
}

void Rebuild::seeOld(quint16 type, qsizetype at, qsizetype end, quint16 row)
{
    if (m_open.isEmpty())
        return;
    Substream &s = m_open.last();
    if (type == rt::kRow)
        s.oldBlock.addRow(row, at, end);
    else if (isCell(type))
        s.oldBlock.addCell(row, at);
    else if (type == rt::kDefColWidth)
        s.oldDefColWidth = at;
}

void Rebuild::seeNew(quint16 type, qsizetype at, qsizetype end, quint16 row)
{
    if (type == rt::kBoundSheet)
        m_boundSheets.append(at);
    if (m_open.isEmpty())
        return;
    Substream &s = m_open.last();
    if (type == rt::kRow)
        s.newBlock.addRow(row, at, end);
    else if (isCell(type))
        s.newBlock.addCell(row, at);
    else if (type == rt::kDefColWidth)
        s.newDefColWidth = at;
}

// Relative offsets keep whatever the writer stored, moved by what moved: a file that follows
// Excel's rule keeps following it, and one that does not is changed no further than needed.
void Rebuild::patchDbCell(qsizetype at, qsizetype length, qsizetype newAt)
{
    if (m_open.isEmpty() || length < 4)
        return;
    Substream &s = m_open.last();
    const QVector<qint64> before = s.oldBlock.fields(at);
    const QVector<qint64> after = s.newBlock.fields(newAt);
    if (!before.isEmpty() && !after.isEmpty()) {
        cfb::writeU32(m_out, newAt + 4, quint32(u32At(m_stream, at + 4) + after[0] - before[0]));
        const qsizetype n =
            std::min<qsizetype>({(length - 4) / 2, before.size() - 1, after.size() - 1});
        for (qsizetype i = 0; i < n; ++i) {
            const qsizetype field = 8 + 2 * i;
            cfb::writeU16(m_out, newAt + field,
                          quint16(u16At(m_stream, at + field) + after[i + 1] - before[i + 1]));
        }
    }
    s.oldBlock.clear();
    s.newBlock.clear();
    s.oldDbCells.append(at);
    s.newDbCells.append(newAt);
}

// Stream positions are rewritten only where they pointed at what they should; anything else
// a writer stored there is kept.
void Rebuild::patchIndex(const Substream &s)
{
    const qsizetype length = u16At(m_stream, s.oldIndex + 2);
    if (length < 16)
        return;
    auto move = [&](qsizetype field, qsizetype oldTarget, qsizetype newTarget) {
        if (oldTarget >= 0 && u32At(m_stream, s.oldIndex + field) == quint64(oldTarget))
            cfb::writeU32(m_out, s.newIndex + field, quint32(newTarget));
    };
    move(4 + 12, s.oldDefColWidth, s.newDefColWidth);
    const qsizetype n = std::min<qsizetype>((length - 16) / 4, s.oldDbCells.size());
    for (qsizetype i = 0; i < n; ++i)
        move(4 + 16 + 4 * i, s.oldDbCells[i], s.newDbCells[i]);
}

void Rebuild::patchExtSst(qsizetype newAt, qsizetype length)
{
    if (m_oldSst < 0)
        return;
    for (qsizetype field = 4 + 2; field + 8 <= 4 + length; field += 8) {
        const quint32 ib = u32At(m_out, newAt + field);
        if (ib >= m_oldSst && ib < m_oldSstEnd)
            cfb::writeU32(m_out, newAt + field, quint32(ib + (m_newSst - m_oldSst)));
    }
}

void Rebuild::patchBoundSheets()
{
    for (const qsizetype at : m_boundSheets) {
        if (at + 8 > m_out.size() || u16At(m_out, at + 2) < 4)
            continue;
        const auto it = m_bofMoved.constFind(u32At(m_out, at + 4));
        if (it != m_bofMoved.constEnd())
            cfb::writeU32(m_out, at + 4, quint32(*it));
    }
}

bool Rebuild::original(quint16 type, qsizetype at, qsizetype end, qsizetype length)
{
    const quint16 row = length >= 2 ? u16At(m_stream, at + 4) : 0;
    const qsizetype newAt = newPosition(at);
    seeOld(type, at, end, row);
    switch (type) {
    case rt::kFilePass:
        // Encrypted records are keyed by their stream position: none may move.
        if (!m_edits.replaced.isEmpty() || !m_edits.insertedBefore.isEmpty() ||
            m_edits.stringsChanged)
            return fail(
                QStringLiteral("the workbook stream is encrypted (FILEPASS at offset %1)").arg(at));
        seeNew(type, newAt, newAt + (end - at), row);
        return true;
    case rt::kBof:
        if (m_open.isEmpty())
            m_bofMoved.insert(at, newAt);
        m_open.append(Substream());
        ++m_substreams;
        return true;
    case rt::kEof:
        if (m_open.size() == 1 && m_substreams == 1 && m_edits.stringsChanged &&
            !m_stringsWritten) {
            // A workbook without a string table gets one at the end of its globals.
            flush(at);
            if (!writeStrings())
                return false;
        }
        if (!m_open.isEmpty()) {
            if (m_open.last().oldIndex >= 0) {
                flush(at);
                patchIndex(m_open.last());
            }
            m_open.removeLast();
        }
        return true;
    case rt::kIndex:
        if (!m_open.isEmpty() && m_open.last().oldIndex < 0) {
            m_open.last().oldIndex = at;
            m_open.last().newIndex = newAt;
        }
        return true;
    case rt::kDbCell:
        flush(end);
        patchDbCell(at, length, newAt);
        return true;
    case rt::kSst:
    case rt::kExtSst:
        if (m_edits.stringsChanged) {
            flush(at);
            m_copyFrom = end;
            return m_stringsWritten || writeStrings();
        }
        if (type == rt::kSst) {
            m_oldSst = at;
            m_oldSstEnd = end;
            m_newSst = newAt;
        } else {
            flush(end);
            patchExtSst(newAt, length);
        }
        return true;
    default:
        seeNew(type, newAt, newAt + (end - at), row);
        return true;
    }
}

bool Rebuild::run(QByteArray *out, QString *reason)
{
    const qsizetype size = m_stream.size();
    qsizetype growth = 1 << 16;
    for (const auto &records : m_edits.replaced)
        for (const NewRecord &r : records)
            growth += 4 + r.body.size();
    for (const auto &records : m_edits.insertedBefore)
        for (const NewRecord &r : records)
            growth += 4 + r.body.size();
    if (m_edits.stringItems)
        growth += m_edits.stringItems->growth();
    else
        growth += StringList(m_edits.strings).growth();
    m_out.reserve(size + growth);

    auto replaced = m_edits.replaced.cbegin();
    auto inserted = m_edits.insertedBefore.cbegin();
    qsizetype at = 0;
    while (size - at >= 4) {
        m_in.seek(at);
        const quint16 type = m_in.u16();
        const qsizetype length = m_in.u16();
        if (at + 4 + length > size) {
            m_reason = QStringLiteral("record %1 at offset %2 declares %3 bytes, past the end of "
                                      "the workbook stream of %4 bytes")
                           .arg(hex(type))
                           .arg(at)
                           .arg(length)
                           .arg(size);
            break;
        }
        qsizetype end = at + 4 + length;
        while (size - end >= 4) {
            m_in.seek(end);
            const quint16 next = m_in.u16();
            const qsizetype more = m_in.u16();
            if (next != rt::kContinue || end + 4 + more > size)
                break;
            end += 4 + more;
        }
        if ((replaced != m_edits.replaced.cend() && replaced.key() < at) ||
            (inserted != m_edits.insertedBefore.cend() && inserted.key() < at))
            break; // an edit inside the record before
        if (inserted != m_edits.insertedBefore.cend() && inserted.key() == at) {
            flush(at);
            for (const NewRecord &r : *inserted)
                if (!writeNew(r))
                    break;
            ++inserted;
            if (!m_reason.isEmpty())
                break;
        }
        if (replaced != m_edits.replaced.cend() && replaced.key() == at) {
            if (isStructural(type)) {
                m_reason = QStringLiteral("the edits replace record %1 at offset %2, which is "
                                          "written only as the records around it decide")
                               .arg(hex(type))
                               .arg(at);
                break;
            }
            flush(at);
            seeOld(type, at, end, length >= 2 ? u16At(m_stream, at + 4) : 0);
            for (const NewRecord &r : *replaced)
                if (!writeNew(r))
                    break;
            m_copyFrom = end;
            ++replaced;
            if (!m_reason.isEmpty())
                break;
        } else if (!original(type, at, end, length)) {
            break;
        }
        at = end;
        // Copied as it goes, not only where a position needs patching: the original is then
        // read once, front to back.
        if (at - m_copyFrom >= kCopyStep)
            flush(at);
    }
    if (m_reason.isEmpty()) {
        qsizetype left = -1;
        if (replaced != m_edits.replaced.cend())
            left = replaced.key();
        if (inserted != m_edits.insertedBefore.cend() && (left < 0 || inserted.key() < left))
            left = inserted.key();
        if (left >= 0)
            m_reason = QStringLiteral("an edit at offset %1, where no record of the workbook "
                                      "stream starts")
                           .arg(left);
        else if (m_edits.stringsChanged && !m_stringsWritten)
            m_reason = QStringLiteral("a new string table, but the workbook stream has no end "
                                      "of its globals to put it before");
    }
    if (!m_reason.isEmpty()) {
        if (reason)
            *reason = m_reason;
        return false;
    }
    flush(size);
    patchBoundSheets();
    *out = std::move(m_out);
    return true;
}

} // namespace

bool StreamRebuilder::rebuild(const QByteArray &stream, const StreamEdits &edits, QByteArray *out,
                              QString *reason, const std::function<void(qsizetype)> &copied)
{
    return Rebuild(stream, edits, copied).run(out, reason);
}

} // namespace workbook::biff
