#pragma once

#include "workbook/biff/recordreader.h"
#include "workbook/edit/cellsource.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace workbook::biff
{

class BiffWorkbook;
class FormulaPrecheck;

// The cells of one sheet substream, read record by record as the editing rules ask for them:
// nothing is kept but the shared and array formulas the later cells point at. A value is
// decoded only when asked for, a formula's text only when the cell is returned
// (and, with a precheck, only when its tokens say the text may match).
//
// A shared formula shows as in the other formats: its first cell carries the text and the
// area, the others only the group. Cells of an array formula other than its first, and the
// cells of a data table, carry no text.
class BiffCellSource : public edit::CellSource
{
public:
    // entry: the sheet's index among the workbook's BOUNDSHEET8 records.
    BiffCellSource(const BiffWorkbook &workbook, int entry);

    // For Find: cells whose formula text cannot match are passed over, by their tokens alone.
    void setPrecheck(FormulaPrecheck *precheck) { m_precheck = precheck; }

    bool next(edit::SourceCell *cell) override;
    bool failed() const override { return m_error.isSet(); }
    Error error() const override { return m_error; }
    void restart() override;

    bool number(double *out) const override;
    int sharedString() const override { return m_sst; }
    bool text(QString *out) const override;
    bool inlineText(edit::FormattedText *out) const override;
    void setPlainNumbersWanted(bool wanted) override { m_plainNumbers = wanted; }

    // The current formula cell's own text, shared formulas' other cells included (empty for
    // the cells an array or data table covers); false when it cannot be decompiled.
    bool ownFormulaText(QString *out);

    // Where and how the current cell is stored, for a sink that rewrites it.
    enum class Role : quint8 {
        Value,        // a cell of its own record, or one of a MULRK
        Formula,      // a formula of its own
        SharedHost,   // the cell a shared formula (SHRFMLA) follows
        SharedMember, // another cell of a shared formula
        ArrayAnchor,  // the first cell of an array formula (ARRAY follows it)
        Other         // a cell of an array formula or data table other than its first
    };
    struct Storage {
        qsizetype record = 0; // the offset of the cell's record
        quint16 type = 0;     // its type; a MULRK holds other cells beside this one
        int row = 0;          // 0-based
        int column = 0;
        quint16 xf = 0;
        Role role = Role::Value;
        qsizetype groupRecord = -1;  // the SHRFMLA or ARRAY record following it, or -1
        qsizetype stringRecord = -1; // where a text result's STRING record would be, or -1
        quint32 group = 0;           // the shared or array formula it belongs to
    };
    Storage storage() const;
    // The tokens the current formula cell is computed by: its own, or its group's (relative
    // for a shared formula: *relative set).
    bool formulaTokens(QByteArray *tokens, QByteArray *extra, bool *relative) const;

private:
    // A shared formula (SHRFMLA) or an array formula (ARRAY).
    struct Group {
        bool isArray = false;
        edit::CellArea area; // 1-based
        quint32 host = 0;    // the cell whose record the group followed
        QByteArray tokens;
        QByteArray extra;
        quint8 verdict = 0; // of the precheck: 0 not asked, 1 cannot match, 2 may
    };
    enum class Value : quint8 { None, Number, Rk, Boolean, Error, FormulaString, EmptyString };

    bool fail(Error::Kind kind, const QString &detail);
    // The checks a number record's cells get when returned, for one whose cells are left out.
    bool passOverNumbers();
    bool formulaCell(edit::SourceCell *cell, bool *skip);
    bool readGroup(const Record &r);
    bool decompile(const QByteArray &tokens, const QByteArray &extra, bool relative, QString *out);
    bool mayMatch(const char *tokens, qsizetype size, bool relative, quint8 *verdict);
    // Views of the current formula's own tokens and extra data, valid while its record is.
    QByteArray ownTokens() const;
    QByteArray ownExtra() const;
    QString cellName() const;

    const BiffWorkbook &m_workbook;
    int m_entry;
    FormulaPrecheck *m_precheck = nullptr;
    RecordReader m_reader;
    Record m_record;
    int m_depth = 0;
    qint64 m_cells = 0;
    bool m_plainNumbers = true;
    Error m_error;
    QHash<quint32, Group> m_groups; // by row << 8 | column of the first cell and of the host

    // MULRK cells not yet returned.
    int m_mulLeft = 0;
    int m_mulColumn = 0;

    // The current cell (0-based).
    int m_row = 0;
    int m_column = 0;
    quint16 m_xf = 0;
    qsizetype m_groupRecord = -1; // a SHRFMLA or ARRAY record right after the formula
    Value m_value = Value::None;
    quint64 m_bits = 0; // the number, RK value, boolean or error code
    int m_sst = -1;
    bool m_inline = false;
    QString m_inlineText;
    // A formula's own tokens in m_record's body (size -1: none), the extra data after them.
    qsizetype m_tokensAt = 0;
    qsizetype m_tokensSize = -1;
    quint32 m_groupKey = 0; // the group a formula cell points at, when m_inGroup
    bool m_inGroup = false;
    bool m_dataTable = false;
    qsizetype m_afterFormula; // where a formula's STRING record would be
};

} // namespace workbook::biff
