#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

namespace workbook::biff
{

class BiffWorkbook;

// One sheet substream read into memory: its cells in their stored form, the shared and array
// formulas they point at, its header, footer and protection.
class BiffSheet
{
public:
    enum class CellKind : quint8 { SharedString, InlineString, Number, Boolean, Error, Formula };
    struct Cell {
        quint16 row = 0;
        quint16 column = 0;
        quint16 xf = 0;
        CellKind kind = CellKind::Number;
        quint8 code = 0;   // boolean value or error code
        double number = 0; // Number
        int index = 0;     // string table entry, inline string or formula
    };
    struct Formula {
        QByteArray tokens;
        QByteArray extra;
        // Set when the cell's tokens are only tExp: the formula is the shared or array
        // formula anchored at (hostRow, hostColumn).
        bool pointsElsewhere = false;
        bool dataTable = false; // a cell of a data table (TABLE)
        quint16 hostRow = 0;
        quint16 hostColumn = 0;
    };
    struct SharedFormula {
        bool isArray = false;
        quint16 firstRow = 0;
        quint16 lastRow = 0;
        quint8 firstColumn = 0;
        quint8 lastColumn = 0;
        QByteArray tokens;
        QByteArray extra;
    };

    // Reads sheet `index` of the workbook; false with the reason when its substream is
    // damaged or beyond a limit.
    bool read(const BiffWorkbook &workbook, int index, QString *reason);
    // Only as far as the dialog-sheet flag (WSBOOL), which comes before any cell.
    static bool isDialogSheet(const BiffWorkbook &workbook, int index);

    const QVector<Cell> &cells() const { return m_cells; }
    const QVector<QString> &inlineStrings() const { return m_inlineStrings; }
    const QVector<Formula> &formulas() const { return m_formulas; }
    // The shared or array formula anchored at a cell, or null.
    const SharedFormula *sharedFormula(quint16 row, quint16 column) const;
    const QString &header() const { return m_header; }
    const QString &footer() const { return m_footer; }
    bool isProtected() const { return m_protected; }

private:
    QVector<Cell> m_cells;
    QVector<QString> m_inlineStrings;
    QVector<Formula> m_formulas;
    QVector<SharedFormula> m_shared;
    QHash<quint32, int> m_sharedByCell; // row << 8 | column of the host cell
    QString m_header;
    QString m_footer;
    bool m_protected = false;
};

} // namespace workbook::biff
