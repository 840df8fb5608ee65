#pragma once

#include "workbook/xml/xmlscanner.h"

#include <QByteArray>
#include <QString>

namespace workbook::ooxml
{

// One <c> element of a sheet part, as byte ranges into the part.
struct Cell {
    qsizetype begin = 0; // the whole element
    qsizetype end = 0;
    qsizetype startTagEnd = 0;
    xml::ByteSpan prefix; // of the element name, without the colon
    int row = 0;          // 1-based
    int column = 0;
    xml::ByteSpan type; // the t attribute, empty when absent
    qsizetype typeAttributeBegin = -1, typeAttributeEnd = -1;
    int style = 0;

    bool hasFormula = false;
    xml::ByteSpan formulaType, formulaRef, formulaShareIndex;
    qsizetype formulaBegin = 0, formulaStartTagEnd = 0, formulaEnd = 0;
    QString formula; // decoded; empty for a shared formula's other cells

    bool hasValue = false;
    xml::ByteSpan value; // raw

    bool hasInlineString = false;
    qsizetype inlineBegin = 0, inlineEnd = 0; // the <is> element
};

// Reads the cells of a worksheet or macro sheet part in document order.
class CellReader
{
public:
    explicit CellReader(const QByteArray &xml);

    // False at the end of the cells or on malformed input (then failed() is true).
    bool next(Cell *cell);
    bool failed() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    // Whether the failure was a limit of ours rather than malformed input.
    bool beyondLimit() const { return m_beyondLimit; }
    const QByteArray &document() const { return m_scanner.document(); }

    static bool parseCellReference(const xml::ByteSpan &ref, int *row, int *column);
    // The shared string a constant cell uses, or -1 (count: the size of the table).
    static int sharedStringIndex(const Cell &cell, int count);

private:
    bool readCell(Cell *cell);
    bool setError(const QString &why);

    xml::XmlScanner m_scanner;
    int m_row = 0;
    int m_column = 0;
    qint64 m_cells = 0;
    bool m_done = false;
    bool m_beyondLimit = false;
    QString m_error;
};

} // namespace workbook::ooxml
