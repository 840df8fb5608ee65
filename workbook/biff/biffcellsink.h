#pragma once

#include "workbook/biff/biffcellsource.h"
#include "workbook/biff/streamedits.h"
#include "workbook/edit/cellsink.h"
#include "workbook/edit/formattedtext.h"

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>

namespace workbook::biff
{

class BiffStringTable;
class BiffWorkbook;

// The changes to the cells of one sheet substream, as edits of the workbook stream the cells
// were read from: each change goes to the current cell of a BiffCellSource and becomes the
// record Excel writes for that content (LABELSST, RK or NUMBER, BOOLERR, BLANK, FORMULA). A
// cell of a MULRK splits the record around it.
//
// A formula is compiled to tokens as it is given; one that does not compile, or a cell whose
// stored formula would not be written back as it was, fails the sink, and the sheet must then
// stay as it was.
class BiffCellSink : public edit::CellSink
{
public:
    // entry: the sheet's index among the workbook's BOUNDSHEET8 records.
    BiffCellSink(BiffCellSource &cells, const BiffWorkbook &workbook, int entry,
                 BiffStringTable &strings);

    void setEmpty() override;
    void setText(const QString &text) override;
    void setFormattedText(const edit::FormattedText &text) override;
    void setNumber(double value) override;
    void setBoolean(bool value) override;
    void setError(const QString &value) override;
    void setFormula(const QString &formula, bool keepArray) override;
    void keepOwnFormula(const QString &formula) override;

    bool failed() const { return m_error.isSet(); }
    const Error &error() const { return m_error; }

    // The changes as stream edits, the new texts added to the string table and *usesDelta
    // told how the number of LABELSST cells changed. False with *error (nothing added) when
    // the changes do not fit the sheet's records.
    bool finish(StreamEdits *edits, qint64 *usesDelta, Error *error);

    // The record a number is stored in, as Excel chooses: RK when the value survives it
    // exactly, NUMBER otherwise.
    static NewRecord numberRecord(int row, int column, quint16 xf, double value);

private:
    enum class Kind : quint8 { Empty, Text, Number, Boolean, Error, Formula, ArrayFormula };
    struct Change {
        BiffCellSource::Storage at;
        Kind kind = Kind::Empty;
        edit::FormattedText text;
        double number = 0;
        quint8 code = 0; // a boolean's value or an error's code
        QByteArray tokens;
        QByteArray extra;
    };

    Change &change(Kind kind);
    bool refuse(const QString &why);
    bool compile(const QString &formula, bool array, bool checkOriginal, Change *change);
    bool cellRecords(const Change &c, QVector<NewRecord> *out, qint64 *usesDelta);
    bool splitMulRk(qsizetype offset, const QMap<int, Change> &changes, QVector<NewRecord> *out,
                    qint64 *usesDelta, QString *why);
    bool sharedGroupDone(const Change &host, QString *why) const;

    BiffCellSource &m_cells;
    const BiffWorkbook &m_workbook;
    int m_entry;
    BiffStringTable &m_strings;
    Error m_error;
    // By the offset of the record, then by column (a MULRK holds several cells).
    QMap<qsizetype, QMap<int, Change>> m_changes;
    QHash<QByteArray, int> m_newStrings; // encoded text -> its new item
    bool m_formulaWritten = false;
};

} // namespace workbook::biff
