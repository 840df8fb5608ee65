#include "workbook/ooxml/cellreader.h"

#include "workbook/limits.h"
#include "workbook/ooxml/xstring.h"

namespace workbook::ooxml
{

namespace
{

int parseInt(const xml::ByteSpan &s, bool *ok)
{
    qint64 v = 0;
    *ok = s.size > 0 && s.size <= 10;
    for (qsizetype i = 0; *ok && i < s.size; ++i) {
        const char c = s.data[i];
        if (c < '0' || c > '9')
            *ok = false;
        else
            v = v * 10 + (c - '0');
    }
    if (v > 0x7fffffff)
        *ok = false;
    return *ok ? int(v) : 0;
}

} // namespace

CellReader::CellReader(const QByteArray &xml) : m_scanner(xml) {}

bool CellReader::setError(const QString &why)
{
    m_error = why;
    m_done = true;
    return false;
}

bool CellReader::parseCellReference(const xml::ByteSpan &ref, int *row, int *column)
{
    qsizetype i = 0;
    int col = 0;
    while (i < ref.size && ((ref.data[i] >= 'A' && ref.data[i] <= 'Z') ||
                            (ref.data[i] >= 'a' && ref.data[i] <= 'z'))) {
        col = col * 26 + ((ref.data[i] | 0x20) - 'a' + 1);
        if (col > 16384)
            return false;
        ++i;
    }
    bool ok = false;
    const int r = parseInt(xml::ByteSpan{ref.data + i, ref.size - i}, &ok);
    if (col == 0 || !ok || r < 1 || r > 1048576)
        return false;
    *row = r;
    *column = col;
    return true;
}

int CellReader::sharedStringIndex(const Cell &cell, int count)
{
    if (cell.hasFormula || cell.type != "s" || !cell.hasValue)
        return -1;
    xml::ByteSpan v = cell.value;
    while (v.size > 0 &&
           (*v.data == ' ' || *v.data == '\n' || *v.data == '\r' || *v.data == '\t')) {
        ++v.data;
        --v.size;
    }
    while (v.size > 0 && (v.data[v.size - 1] == ' ' || v.data[v.size - 1] == '\n' ||
                          v.data[v.size - 1] == '\r' || v.data[v.size - 1] == '\t'))
        --v.size;
    bool ok = false;
    const int index = parseInt(v, &ok);
    return ok && index < count ? index : -1;
}

bool CellReader::next(Cell *cell)
{
    using T = xml::XmlScanner;
    while (!m_done) {
        const T::Token t = m_scanner.next();
        if (t == T::EndOfDocument) {
            m_done = true;
            return false;
        }
        if (t == T::Invalid)
            return setError(m_scanner.errorString());
        if (t != T::StartElement)
            continue;
        const int depth = m_scanner.depth();
        if (depth == 3 && m_scanner.localName() == "row") {
            bool ok = false;
            const T::Attribute *r = m_scanner.attribute("r");
            const int row = r ? parseInt(r->value, &ok) : 0;
            m_row = ok ? row : m_row + 1;
            m_column = 0;
        } else if (depth == 4 && m_scanner.localName() == "c") {
            if (++m_cells > limits::kMaxCellsPerPart) {
                m_beyondLimit = true;
                return setError(QStringLiteral("expected at most %1 cells, found more")
                                    .arg(limits::kMaxCellsPerPart));
            }
            return readCell(cell);
        } else if (depth == 2) {
            const xml::ByteSpan local = m_scanner.localName();
            // Only sheetData holds cells; the rest is skipped quickly.
            if (local != "sheetData" && !m_scanner.skipElement())
                return setError(m_scanner.errorString());
        }
    }
    return false;
}

bool CellReader::readCell(Cell *cell)
{
    using T = xml::XmlScanner;
    cell->clear();
    const QByteArray &doc = m_scanner.document();
    cell->begin = m_scanner.tokenBegin();
    cell->startTagEnd = m_scanner.tokenEnd();
    cell->prefix = m_scanner.prefix();
    int row = m_row, column = m_column + 1;
    for (const T::Attribute &a : m_scanner.attributes()) {
        if (a.name == "r") {
            int r, c;
            if (parseCellReference(a.value, &r, &c)) {
                row = r;
                column = c;
            }
        } else if (a.name == "s") {
            bool ok;
            cell->style = parseInt(a.value, &ok);
        } else if (a.name == "t") {
            cell->type = a.value;
            cell->typeAttributeBegin = a.begin;
            cell->typeAttributeEnd = a.end;
        }
    }
    cell->row = row;
    cell->column = column;
    m_column = column;
    QString raw;
    for (;;) {
        const T::Token t = m_scanner.next();
        if (t == T::Invalid || t == T::EndOfDocument)
            return setError(m_scanner.errorString());
        if (t == T::EndElement && m_scanner.depth() == 4) {
            cell->end = m_scanner.tokenEnd();
            return true;
        }
        if (t != T::StartElement || m_scanner.depth() != 5)
            continue;
        const xml::ByteSpan local = m_scanner.localName();
        if (local == "f") {
            cell->hasFormula = true;
            cell->formulaBegin = m_scanner.tokenBegin();
            cell->formulaStartTagEnd = m_scanner.tokenEnd();
            for (const T::Attribute &a : m_scanner.attributes()) {
                if (a.name == "t")
                    cell->formulaType = a.value;
                else if (a.name == "ref")
                    cell->formulaRef = a.value;
                else if (a.name == "si")
                    cell->formulaShareIndex = a.value;
            }
            if (!m_scanner.readElementText(&raw))
                return setError(m_scanner.errorString());
            cell->formula = XString::decode(raw);
            cell->formulaEnd = m_scanner.tokenEnd();
        } else if (local == "v") {
            const qsizetype from = m_scanner.tokenEnd();
            if (!m_scanner.skipElement())
                return setError(m_scanner.errorString());
            cell->hasValue = true;
            cell->value = xml::ByteSpan{doc.constData() + from, m_scanner.tokenBegin() - from};
        } else if (local == "is") {
            cell->hasInlineString = true;
            cell->inlineBegin = m_scanner.tokenBegin();
            if (!m_scanner.skipElement())
                return setError(m_scanner.errorString());
            cell->inlineEnd = m_scanner.tokenEnd();
        } else if (!m_scanner.skipElement()) {
            return setError(m_scanner.errorString());
        }
    }
}

} // namespace workbook::ooxml
