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

    // As a new Cell, field by field: assigning a whole new one clears the struct with a
    // string instruction that costs more than a cell's reading.
    void clear()
    {
        begin = end = startTagEnd = 0;
        prefix = xml::ByteSpan();
        row = column = 0;
        type = xml::ByteSpan();
        typeAttributeBegin = typeAttributeEnd = -1;
        style = 0;
        hasFormula = false;
        formulaType = xml::ByteSpan();
        formulaRef = xml::ByteSpan();
        formulaShareIndex = xml::ByteSpan();
        formulaBegin = formulaStartTagEnd = formulaEnd = 0;
        if (!formula.isNull())
            formula = QString();
        hasValue = false;
        value = xml::ByteSpan();
        hasInlineString = false;
        inlineBegin = inlineEnd = 0;
    }
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
