#include "workbook/text/sharedformulashift.h"

#include "workbook/text/formulatokenizer.h"

namespace workbook::text
{

namespace
{

struct Part {
    bool columnAnchored = false;
    bool rowAnchored = false;
    int column = 0;    // 0: none
    long long row = 0; // 0: none
};

bool parsePart(QStringView w, Part *p)
{
    qsizetype i = 0;
    const qsizetype n = w.size();
    if (i < n && w[i] == u'$') {
        ++i;
        p->columnAnchored = true;
    }
    const qsizetype letters = i;
    while (i < n && i - letters < 3 && w[i].isLetter() && w[i].unicode() < 0x80) {
        p->column = p->column * 26 + ((w[i].unicode() | 0x20) - 'a' + 1);
        ++i;
    }
    if (i == letters) {
        // No column: a leading $ belonged to the row.
        p->rowAnchored = p->columnAnchored;
        p->columnAnchored = false;
    } else if (i < n && w[i] == u'$') {
        p->rowAnchored = true;
        ++i;
    }
    const qsizetype digits = i;
    while (i < n && w[i] >= u'0' && w[i] <= u'9' && i - digits < 8) {
        p->row = p->row * 10 + (w[i].unicode() - '0');
        ++i;
    }
    return i == n && (p->column != 0 || p->row != 0);
}

void appendColumn(QString &out, int column)
{
    char letters[4];
    int n = 0;
    while (column > 0) {
        letters[n++] = char('A' + (column - 1) % 26);
        column = (column - 1) / 26;
    }
    while (n > 0) {
        out.append(QLatin1Char(letters[--n]));
    }
}

// Moves one part; false when it leaves the grid.
bool shiftPart(Part &p, int rows, int columns)
{
    if (p.column != 0 && !p.columnAnchored) {
        p.column += columns;
        if (p.column < 1 || p.column > SharedFormulaShift::kMaxColumn) {
            return false;
        }
    }
    if (p.row != 0 && !p.rowAnchored) {
        p.row += rows;
        if (p.row < 1 || p.row > SharedFormulaShift::kMaxRow) {
            return false;
        }
    }
    return true;
}

void appendPart(QString &out, const Part &p)
{
    if (p.column != 0) {
        if (p.columnAnchored) {
            out.append(QLatin1Char('$'));
        }
        appendColumn(out, p.column);
    }
    if (p.row != 0) {
        if (p.rowAnchored) {
            out.append(QLatin1Char('$'));
        }
        char digits[12];
        int n = 0;
        for (long long row = p.row; row > 0; row /= 10) {
            digits[n++] = char('0' + row % 10);
        }
        while (n > 0) {
            out.append(QLatin1Char(digits[--n]));
        }
    }
}

} // namespace

bool SharedFormulaShift::parseCell(QStringView ref, int *row, int *column)
{
    Part p;
    if (!parsePart(ref, &p) || p.column == 0 || p.row == 0 || p.column > kMaxColumn ||
        p.row > kMaxRow) {
        return false;
    }
    *row = int(p.row);
    *column = p.column;
    return true;
}

QString SharedFormulaShift::shift(QStringView formula, int rows, int columns)
{
    if (rows == 0 && columns == 0) {
        return formula.toString();
    }
    const QVector<FormulaToken> tokens = FormulaTokenizer::tokenize(formula);
    QString out;
    out.reserve(formula.size() + 8);
    for (const FormulaToken &t : tokens) {
        const QStringView text = formula.mid(t.start, t.length);
        if (t.type != FormulaToken::Type::CellRef) {
            out.append(text);
            continue;
        }
        const qsizetype colon = text.indexOf(u':');
        Part a;
        Part b;
        bool ok = parsePart(colon < 0 ? text : text.left(colon), &a) && shiftPart(a, rows, columns);
        if (ok && colon >= 0) {
            ok = parsePart(text.mid(colon + 1), &b) && shiftPart(b, rows, columns);
        }
        if (!ok) {
            out.append(QLatin1String("#REF!"));
            continue;
        }
        appendPart(out, a);
        if (colon >= 0) {
            out.append(QLatin1Char(':'));
            appendPart(out, b);
        }
    }
    return out;
}

} // namespace workbook::text
