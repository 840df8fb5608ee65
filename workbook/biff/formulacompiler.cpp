#include "workbook/biff/formulacompiler.h"

#include "workbook/biff/errorcodes.h"
#include "workbook/biff/formuladecompiler.h"
#include "workbook/biff/formulanames.h"
#include "workbook/biff/formulareferences.h"
#include "workbook/biff/functiontable.h"
#include "workbook/cfb/bytecursor.h"
#include "workbook/cfb/bytewriter.h"
#include "workbook/text/formulalimits.h"
#include "workbook/text/numbertext.h"

#include <QVector>
#include <QtEndian>
#include <cmath>
#include <cstring>
#include <initializer_list>

namespace workbook::biff
{

namespace
{

constexpr int kMaxRow = 0xFFFF;
constexpr int kMaxColumn = 0xFF;
constexpr int kMaxStringLength = 255;
constexpr int kMaxArguments = 30;
constexpr int kMaxDepth = 200;   // nested groups and calls while parsing
constexpr int kMaxHeight = 1000; // operations over operations, chains included
// What the FORMULA record has room for after its fixed fields.
constexpr int kMaxTokenBytes = 8224 - 22;

// Token classes as the high bits of an operand or function token.
constexpr quint8 classBits(char c)
{
    return c == 'R' ? 0x20 : c == 'V' ? 0x40 : 0x60;
}

enum class Kind {
    Number,
    String,
    Boolean,
    Error,
    Missing,
    Ref,      // tRef, tRef3d
    Area,     // tArea, tArea3d
    RefError, // #REF! after a sheet: tRefErr3d
    Name,
    NameX,
    Unary,   // + or - before its operand
    Percent, // % after its operand
    Binary,
    Paren,
    Function,
    Array,
};

struct Node {
    Kind kind = Kind::Number;
    QString before;      // spaces and line breaks shown before the node's own token
    QString beforeClose; // before the closing parenthesis of a group or call
    double number = 0;
    bool negative = false; // a number with the minus sign typed before it
    QString text;
    quint8 code = 0; // error code, boolean, operator token
    int ixti = -1;   // 3-D references and tNameX; -1 for this sheet
    int index = 0;   // name index, function index
    quint16 rows[2] = {0, 0};
    quint16 columns[2] = {0, 0}; // with the relative flags in the high bits
    QVector<int> children;
    QByteArray array; // rgcb of an array constant
    char cls = 'R';
    int height = 0; // operations below this one, for the depth the writer recurses to
};

bool isLetter(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Characters of defined names and unquoted sheet names.
bool isNameChar(QChar c)
{
    if (c.unicode() >= 0x80)
        return c.isLetterOrNumber() || c.isSurrogate() || c.isMark();
    return isLetter(c) || isDigit(c) || c == u'_' || c == u'.' || c == u'\\' || c == u'?';
}

void putF64(QByteArray &b, double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; ++i)
        b.append(char((bits >> (8 * i)) & 0xFF));
}

// A ShortXLUnicodeString (countBytes 1) or XLUnicodeString (2): compressed when every character
// fits in one byte, as Excel writes it.
void putString(QByteArray &b, const QString &s, int countBytes)
{
    if (countBytes == 1)
        b.append(char(s.size()));
    else
        cfb::appendU16(b, quint16(s.size()));
    bool wide = false;
    for (QChar c : s)
        wide = wide || c.unicode() > 0xFF;
    b.append(char(wide ? 1 : 0));
    for (QChar c : s) {
        if (wide)
            cfb::appendU16(b, c.unicode());
        else
            b.append(char(c.unicode()));
    }
}

int errorCode(const QString &text)
{
    for (int code : {0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A}) {
        if (text.compare(errorCodeText(quint8(code)), Qt::CaseInsensitive) == 0)
            return code;
    }
    return -1;
}

class Compiler
{
public:
    Compiler(const QString &text, const FormulaReferences &refs,
             const FormulaCompiler::Options &options)
        : m_text(text), m_refs(refs), m_options(options)
    {
    }

    bool run(FormulaCompiler::Output *out, QString *reason);

private:
    bool fail(const QString &why)
    {
        if (m_error.isEmpty())
            m_error = why;
        return false;
    }
    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar peek(int ahead = 0) const
    {
        return m_pos + ahead < m_text.size() ? m_text[m_pos + ahead] : QChar();
    }
    QString whitespace();
    int add(Node n)
    {
        for (int child : n.children)
            n.height = qMax(n.height, m_nodes[child].height + 1);
        if (n.height > kMaxHeight) {
            fail(QStringLiteral("the formula nests more than %1 operations deep").arg(kMaxHeight));
            return -1;
        }
        m_nodes.append(std::move(n));
        return m_nodes.size() - 1;
    }

    // Parsing, lowest precedence first; each returns a node index or -1.
    int expression(bool unionAllowed);
    int comparison();
    int concatenation();
    int additive();
    int multiplicative();
    int power();
    struct Operator {
        char16_t symbol;
        quint8 ptg;
    };
    // A left-associative run of operands of the next level joined by these operators.
    int binaryLevel(int (Compiler::*operand)(), std::initializer_list<Operator> operators);
    int percent();
    int unary();
    int intersection();
    int range();
    int primary();
    int binary(quint8 ptg, const QString &before, int left, int right);
    bool isReference(int node) const;
    int parenthesis(const QString &before);
    int stringLiteral(const QString &before);
    int arrayConstant(const QString &before);
    bool arrayValue(QByteArray *out);
    int numberOrRows(const QString &before);
    int withSheet(const QString &before);
    int afterSheet(const QString &before, int ixti);
    int cellOrName(const QString &before, int ixti);
    int call(const QString &before, const QString &name);
    bool startsOperand() const;

    bool cell(int *row, int *column, bool *rowRelative, bool *columnRelative);
    bool columnOnly(int *column, bool *relative);
    bool rowOnly(int *row, bool *relative);

    void transform(int node, char wanted, bool forceArray);
    // The class a value operator wants of its operands where its own result is wanted as
    // `wanted`: values, arrays inside an array formula.
    char valueOperand(char wanted) const
    {
        return wanted != 'R' ? wanted : m_options.kind == FormulaCompiler::Kind::Array ? 'A' : 'V';
    }
    void transformFunction(Node &n, char wanted, bool forceArray);
    bool writeNode(int node, QByteArray &out);
    void writeSpaces(const QString &ws, bool beforeClose, QByteArray &out);

    const QString &m_text;
    const FormulaReferences &m_refs;
    FormulaCompiler::Options m_options;
    int m_pos = 0;
    int m_depth = 0;
    bool m_volatile = false;
    bool m_inReference = false; // writing the operands of a reference operator
    QVector<Node> m_nodes;
    QByteArray m_extra;
    QString m_error;
};

QString Compiler::whitespace()
{
    const int from = m_pos;
    while (!atEnd() && (peek() == u' ' || peek() == u'\n'))
        ++m_pos;
    return m_text.mid(from, m_pos - from);
}

// Union (",") is an operator only inside parentheses and at the top of a name's formula;
// elsewhere the comma separates arguments.
int Compiler::expression(bool unionAllowed)
{
    if (++m_depth > kMaxDepth) {
        fail(QStringLiteral("the formula nests more than %1 levels deep").arg(kMaxDepth));
        return -1;
    }
    int left = comparison();
    while (left >= 0 && unionAllowed) {
        const int save = m_pos;
        const QString ws = whitespace();
        if (peek() != u',') {
            m_pos = save;
            break;
        }
        ++m_pos;
        const int right = comparison();
        left = right < 0 ? -1 : binary(0x10, ws, left, right);
    }
    --m_depth;
    return left;
}

// Whether a node yields a reference, as the operands of the range, union and intersection
// operators must.
bool Compiler::isReference(int index) const
{
    const Node &n = m_nodes[index];
    switch (n.kind) {
    case Kind::Ref:
    case Kind::Area:
    case Kind::RefError:
    case Kind::Name:
    case Kind::NameX:
        return true;
    case Kind::Paren:
        return isReference(n.children[0]);
    case Kind::Binary:
        return n.code == 0x0F || n.code == 0x10 || n.code == 0x11;
    case Kind::Function: {
        const FunctionTable::Function *f = FunctionTable::find(quint16(n.index));
        return !f || f->resultClass == 'R';
    }
    default:
        return false;
    }
}

int Compiler::binary(quint8 ptg, const QString &before, int left, int right)
{
    if ((ptg == 0x0F || ptg == 0x10 || ptg == 0x11) &&
        (!isReference(left) || !isReference(right))) {
        fail(QStringLiteral("the \"%1\" operator joins references only")
                 .arg(ptg == 0x0F   ? QStringLiteral(" ")
                      : ptg == 0x10 ? QStringLiteral(",")
                                    : QStringLiteral(":")));
        return -1;
    }
    Node n;
    n.kind = Kind::Binary;
    n.code = ptg;
    n.before = before;
    n.children = {left, right};
    return add(n);
}

int Compiler::comparison()
{
    int left = concatenation();
    while (left >= 0) {
        const int save = m_pos;
        const QString ws = whitespace();
        quint8 ptg = 0;
        if (peek() == u'<' && peek(1) == u'=') {
            ptg = 0x0A;
            m_pos += 2;
        } else if (peek() == u'>' && peek(1) == u'=') {
            ptg = 0x0C;
            m_pos += 2;
        } else if (peek() == u'<' && peek(1) == u'>') {
            ptg = 0x0E;
            m_pos += 2;
        } else if (peek() == u'<') {
            ptg = 0x09;
            ++m_pos;
        } else if (peek() == u'>') {
            ptg = 0x0D;
            ++m_pos;
        } else if (peek() == u'=') {
            ptg = 0x0B;
            ++m_pos;
        } else {
            m_pos = save;
            break;
        }
        const int right = concatenation();
        left = right < 0 ? -1 : binary(ptg, ws, left, right);
    }
    return left;
}

int Compiler::binaryLevel(int (Compiler::*operand)(), std::initializer_list<Operator> operators)
{
    int left = (this->*operand)();
    while (left >= 0) {
        const int save = m_pos;
        const QString ws = whitespace();
        const Operator *found = nullptr;
        for (const Operator &op : operators) {
            if (peek() == QChar(op.symbol))
                found = &op;
        }
        if (!found) {
            m_pos = save;
            break;
        }
        ++m_pos;
        const int right = (this->*operand)();
        left = right < 0 ? -1 : binary(found->ptg, ws, left, right);
    }
    return left;
}

int Compiler::concatenation()
{
    return binaryLevel(&Compiler::additive, {{u'&', 0x08}});
}

int Compiler::additive()
{
    return binaryLevel(&Compiler::multiplicative, {{u'+', 0x03}, {u'-', 0x04}});
}

int Compiler::multiplicative()
{
    return binaryLevel(&Compiler::power, {{u'*', 0x05}, {u'/', 0x06}});
}

int Compiler::power()
{
    return binaryLevel(&Compiler::percent, {{u'^', 0x07}});
}

int Compiler::percent()
{
    int operand = unary();
    while (operand >= 0) {
        const int save = m_pos;
        const QString ws = whitespace();
        if (peek() != u'%') {
            m_pos = save;
            break;
        }
        ++m_pos;
        Node n;
        n.kind = Kind::Percent;
        n.before = ws;
        n.children = {operand};
        operand = add(n);
    }
    return operand;
}

// Negation binds tighter than % and ^, as in Excel: -2^2 is 4.
int Compiler::unary()
{
    const int save = m_pos;
    const QString ws = whitespace();
    if (peek() == u'-' || peek() == u'+') {
        const quint8 ptg = peek() == u'+' ? 0x12 : 0x13;
        ++m_pos;
        if (++m_depth > kMaxDepth) {
            fail(QStringLiteral("the formula nests more than %1 levels deep").arg(kMaxDepth));
            return -1;
        }
        const int operand = unary();
        --m_depth;
        if (operand < 0)
            return -1;
        Node &o = m_nodes[operand];
        if (ptg == 0x13 && o.kind == Kind::Number && o.before.isEmpty() && o.number != 0 &&
            !o.negative) {
            // Excel stores a minus sign before a number as a negative number.
            o.number = -o.number;
            o.negative = true;
            o.before = ws;
            return operand;
        }
        Node n;
        n.kind = Kind::Unary;
        n.code = ptg;
        n.before = ws;
        n.children = {operand};
        return add(n);
    }
    m_pos = save;
    return intersection();
}

// Whether the text after a space goes on with an operand, which makes the space the
// intersection operator.
bool Compiler::startsOperand() const
{
    const QChar c = peek();
    return isLetter(c) || isDigit(c) || c == u'$' || c == u'\'' || c == u'(' || c == u'[' ||
           c == u'_' || c == u'\\' || c == u'#' || c.unicode() >= 0x80;
}

int Compiler::intersection()
{
    int left = range();
    while (left >= 0) {
        const int save = m_pos;
        QString ws = whitespace();
        if (!ws.endsWith(u' ') || !startsOperand()) {
            m_pos = save;
            break;
        }
        ws.chop(1); // the last space is the operator itself
        const int right = range();
        left = right < 0 ? -1 : binary(0x0F, ws, left, right);
    }
    return left;
}

int Compiler::range()
{
    return binaryLevel(&Compiler::primary, {{u':', 0x11}});
}

int Compiler::primary()
{
    const QString ws = whitespace();
    if (atEnd()) {
        fail(QStringLiteral("the formula ends where an operand is due"));
        return -1;
    }
    const QChar c = peek();
    if (c == u'(')
        return parenthesis(ws);
    if (c == u'"')
        return stringLiteral(ws);
    if (c == u'{')
        return arrayConstant(ws);
    if (isDigit(c) || c == u'.')
        return numberOrRows(ws);
    if (c == u'#') {
        // An error constant, or #REF! as the sheet of a reference to a deleted sheet.
        static const char *const errors[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!",
                                             "#NAME?", "#NUM!",   "#N/A"};
        for (const char *e : errors) {
            const QString err = QLatin1String(e);
            if (m_text.mid(m_pos, err.size()).compare(err, Qt::CaseInsensitive) != 0)
                continue;
            m_pos += err.size();
            const int save = m_pos;
            if (err == QLatin1String("#REF!") && (isLetter(peek()) || peek() == u'$')) {
                int ixti = -1;
                if (m_refs.deletedSheetIndex(&ixti)) {
                    const int node = cellOrName(ws, ixti);
                    if (node >= 0 &&
                        (m_nodes[node].kind == Kind::Ref || m_nodes[node].kind == Kind::Area))
                        return node;
                }
                m_error.clear();
                m_pos = save;
            }
            Node n;
            n.kind = Kind::Error;
            n.code = quint8(errorCode(err));
            n.before = ws;
            return add(n);
        }
        fail(QStringLiteral("an unknown error constant at character %1").arg(m_pos + 1));
        return -1;
    }
    if (c == u'\'' || c == u'[')
        return withSheet(ws);
    if (isLetter(c) || c == u'$' || c == u'_' || c == u'\\' || c.unicode() >= 0x80)
        return withSheet(ws);
    fail(QStringLiteral("unexpected \"%1\" at character %2").arg(c).arg(m_pos + 1));
    return -1;
}

int Compiler::parenthesis(const QString &before)
{
    ++m_pos;
    const int inner = expression(true);
    if (inner < 0)
        return -1;
    const QString ws = whitespace();
    if (peek() != u')') {
        fail(QStringLiteral("a parenthesis without its closing one"));
        return -1;
    }
    ++m_pos;
    Node n;
    n.kind = Kind::Paren;
    n.before = before;
    n.beforeClose = ws;
    n.children = {inner};
    return add(n);
}

int Compiler::stringLiteral(const QString &before)
{
    ++m_pos;
    QString s;
    for (;;) {
        if (atEnd()) {
            fail(QStringLiteral("a string without its closing quote"));
            return -1;
        }
        const QChar c = m_text[m_pos++];
        if (c == u'"') {
            if (peek() != u'"')
                break;
            ++m_pos;
        }
        s += c;
    }
    if (s.size() > kMaxStringLength) {
        fail(QStringLiteral("a string of %1 characters; a formula holds at most %2")
                 .arg(s.size())
                 .arg(kMaxStringLength));
        return -1;
    }
    Node n;
    n.kind = Kind::String;
    n.text = s;
    n.before = before;
    return add(n);
}

bool Compiler::arrayValue(QByteArray *out)
{
    whitespace();
    const QChar c = peek();
    if (c == u'"') {
        const int node = stringLiteral(QString());
        if (node < 0)
            return false;
        out->append(char(0x02));
        putString(*out, m_nodes[node].text, 2);
        m_nodes.removeLast();
        return true;
    }
    if (c == u'#') {
        for (int code : {0x00, 0x07, 0x0F, 0x17, 0x1D, 0x24, 0x2A}) {
            const QString err = errorCodeText(quint8(code));
            if (m_text.mid(m_pos, err.size()).compare(err, Qt::CaseInsensitive) == 0) {
                m_pos += err.size();
                out->append(char(0x10));
                out->append(char(code));
                out->append(QByteArray(7, '\0'));
                return true;
            }
        }
        return fail(QStringLiteral("an unknown error constant at character %1").arg(m_pos + 1));
    }
    if (isLetter(c)) {
        const int from = m_pos;
        while (isLetter(peek()))
            ++m_pos;
        const QString word = m_text.mid(from, m_pos - from).toUpper();
        if (word != QLatin1String("TRUE") && word != QLatin1String("FALSE"))
            return fail(QStringLiteral("an array constant holds only numbers, strings, "
                                       "booleans and errors"));
        out->append(char(0x04));
        out->append(char(word == QLatin1String("TRUE") ? 1 : 0));
        out->append(QByteArray(7, '\0'));
        return true;
    }
    const int from = m_pos;
    if (peek() == u'-' || peek() == u'+')
        ++m_pos;
    while (isDigit(peek()) || peek() == u'.')
        ++m_pos;
    if ((peek() == u'E' || peek() == u'e') && m_pos > from) {
        ++m_pos;
        if (peek() == u'+' || peek() == u'-')
            ++m_pos;
        while (isDigit(peek()))
            ++m_pos;
    }
    const auto value = NumberText::parse(QStringView(m_text).mid(from, m_pos - from));
    if (!value)
        return fail(QStringLiteral("an array constant holds only numbers, strings, booleans "
                                   "and errors"));
    out->append(char(0x01));
    putF64(*out, *value);
    return true;
}

int Compiler::arrayConstant(const QString &before)
{
    ++m_pos;
    QByteArray values;
    int columns = -1;
    int rows = 0;
    for (;;) {
        int inRow = 0;
        for (;;) {
            if (!arrayValue(&values))
                return -1;
            ++inRow;
            whitespace();
            if (peek() != u',')
                break;
            ++m_pos;
        }
        if (columns >= 0 && inRow != columns) {
            fail(QStringLiteral("the rows of an array constant differ in length"));
            return -1;
        }
        columns = inRow;
        ++rows;
        if (peek() == u';') {
            ++m_pos;
            continue;
        }
        if (peek() == u'}') {
            ++m_pos;
            break;
        }
        fail(QStringLiteral("an array constant without its closing brace"));
        return -1;
    }
    if (columns > kMaxColumn + 1 || rows > kMaxRow + 1) {
        fail(QStringLiteral("an array constant larger than a sheet"));
        return -1;
    }
    Node n;
    n.kind = Kind::Array;
    n.before = before;
    n.cls = 'A';
    n.array.append(char(columns - 1));
    cfb::appendU16(n.array, quint16(rows - 1));
    n.array += values;
    return add(n);
}

// A number, or whole rows (1:3, $2:$2).
int Compiler::numberOrRows(const QString &before)
{
    const int save = m_pos;
    int row1 = 0, row2 = 0;
    bool rel1 = false, rel2 = false;
    if (rowOnly(&row1, &rel1) && peek() == u':') {
        ++m_pos;
        if (rowOnly(&row2, &rel2)) {
            m_pos = save;
            return cellOrName(before, -1);
        }
    }
    m_pos = save;
    const int from = m_pos;
    while (isDigit(peek()) || peek() == u'.')
        ++m_pos;
    if ((peek() == u'E' || peek() == u'e') &&
        (isDigit(peek(1)) || ((peek(1) == u'+' || peek(1) == u'-') && isDigit(peek(2))))) {
        m_pos += 2;
        while (isDigit(peek()))
            ++m_pos;
    }
    const auto value = NumberText::parse(QStringView(m_text).mid(from, m_pos - from));
    if (!value) {
        fail(QStringLiteral("\"%1\" is not a number").arg(m_text.mid(from, m_pos - from)));
        return -1;
    }
    Node n;
    n.kind = Kind::Number;
    n.number = *value;
    n.before = before;
    return add(n);
}

bool Compiler::rowOnly(int *row, bool *relative)
{
    const int save = m_pos;
    *relative = peek() != u'$';
    if (!*relative)
        ++m_pos;
    qint64 value = 0;
    int digits = 0;
    while (isDigit(peek()) && digits < 7) {
        value = value * 10 + (peek().unicode() - u'0');
        ++m_pos;
        ++digits;
    }
    if (digits == 0 || value < 1 || value > kMaxRow + 1 || isNameChar(peek())) {
        m_pos = save;
        return false;
    }
    *row = int(value - 1);
    return true;
}

bool Compiler::columnOnly(int *column, bool *relative)
{
    const int save = m_pos;
    *relative = peek() != u'$';
    if (!*relative)
        ++m_pos;
    int value = 0;
    int letters = 0;
    while (isLetter(peek()) && letters < 3) {
        value = value * 26 + (peek().toUpper().unicode() - u'A' + 1);
        ++m_pos;
        ++letters;
    }
    if (letters == 0 || value > kMaxColumn + 1) {
        m_pos = save;
        return false;
    }
    *column = value - 1;
    return true;
}

bool Compiler::cell(int *row, int *column, bool *rowRelative, bool *columnRelative)
{
    const int save = m_pos;
    if (!columnOnly(column, columnRelative) || !rowOnly(row, rowRelative) || peek() == u'(') {
        m_pos = save;
        return false;
    }
    return true;
}

// A sheet prefix ('Q1 2024'!, Sheet1:Sheet3!, [1]Sheet1!, [1]!) if there is one, then what
// follows it.
int Compiler::withSheet(const QString &before)
{
    const int save = m_pos;
    int book = 0;
    QString first, last;
    bool prefix = false;
    bool quoted = false;
    auto readBook = [&]() {
        if (peek() != u'[')
            return true;
        ++m_pos;
        int value = 0;
        int digits = 0;
        while (isDigit(peek()) && digits < 5) {
            value = value * 10 + (peek().unicode() - u'0');
            ++m_pos;
            ++digits;
        }
        if (digits == 0 || peek() != u']')
            return fail(QStringLiteral("a workbook reference other than [n]"));
        ++m_pos;
        book = value;
        return true;
    };
    if (peek() == u'\'') {
        ++m_pos;
        quoted = true;
        if (!readBook())
            return -1;
        QString name;
        bool closed = false;
        while (!atEnd()) {
            const QChar c = m_text[m_pos++];
            if (c == u'\'') {
                if (peek() == u'\'') {
                    ++m_pos;
                    name += c;
                    continue;
                }
                closed = true;
                break;
            }
            name += c;
        }
        if (!closed || peek() != u'!') {
            fail(QStringLiteral("a quoted sheet name without its closing quote and \"!\""));
            return -1;
        }
        ++m_pos;
        prefix = true;
        // Quotes hold both ends of a 3-D reference: 'First sheet:Last sheet'!
        const int colon = name.indexOf(u':');
        first = colon < 0 ? name : name.left(colon);
        last = colon < 0 ? QString() : name.mid(colon + 1);
    } else {
        if (!readBook())
            return -1;
        const int from = m_pos;
        while (isNameChar(peek()))
            ++m_pos;
        first = m_text.mid(from, m_pos - from);
        if (peek() == u':') {
            const int colon = m_pos;
            ++m_pos;
            const int from2 = m_pos;
            while (isNameChar(peek()))
                ++m_pos;
            if (peek() == u'!' && m_pos > from2) {
                last = m_text.mid(from2, m_pos - from2);
            } else {
                m_pos = colon;
            }
        }
        if (peek() == u'!') {
            ++m_pos;
            prefix = true;
        } else if (book > 0) {
            fail(QStringLiteral("a workbook reference without \"!\""));
            return -1;
        }
    }
    if (!prefix) {
        m_pos = save;
        return cellOrName(before, -1);
    }
    Q_UNUSED(quoted);
    if (first.isEmpty() && last.isEmpty()) {
        // [1]!Name: a name defined in another workbook.
        const int from = m_pos;
        while (isNameChar(peek()))
            ++m_pos;
        const QString name = m_text.mid(from, m_pos - from);
        int ixti = 0, index = 0;
        if (book == 0 || name.isEmpty() || !m_refs.externalNameIndex(book, name, &ixti, &index)) {
            fail(QStringLiteral("no external name %1 in workbook [%2]").arg(name).arg(book));
            return -1;
        }
        Node n;
        n.kind = Kind::NameX;
        n.ixti = ixti;
        n.index = index;
        n.before = before;
        return add(n);
    }
    int ixti = -1;
    QString why;
    if (!m_refs.sheetIndex(book, first, last, &ixti, &why)) {
        fail(why);
        return -1;
    }
    return afterSheet(before, ixti);
}

int Compiler::afterSheet(const QString &before, int ixti)
{
    if (m_text.mid(m_pos, 5).compare(QLatin1String("#REF!"), Qt::CaseInsensitive) == 0) {
        m_pos += 5;
        Node n;
        n.kind = Kind::RefError;
        n.ixti = ixti;
        n.before = before;
        return add(n);
    }
    const int node = cellOrName(before, ixti);
    if (node >= 0 && m_nodes[node].kind != Kind::Ref && m_nodes[node].kind != Kind::Area) {
        fail(QStringLiteral("a sheet name before something other than a cell or range"));
        return -1;
    }
    return node;
}

// A cell, a range of cells, columns or rows, a function call, TRUE or FALSE, or a defined
// name. ixti >= 0 after a sheet prefix.
int Compiler::cellOrName(const QString &before, int ixti)
{
    const int save = m_pos;
    Node n;
    n.before = before;
    n.ixti = ixti;
    int r1 = 0, c1 = 0, r2 = 0, c2 = 0;
    bool rr1 = false, cr1 = false, rr2 = false, cr2 = false;
    auto flags = [](int column, bool rowRelative, bool columnRelative) {
        return quint16(column | (rowRelative ? 0x8000 : 0) | (columnRelative ? 0x4000 : 0));
    };
    if (cell(&r1, &c1, &rr1, &cr1)) {
        const int afterFirst = m_pos;
        if (peek() == u':') {
            ++m_pos;
            if (cell(&r2, &c2, &rr2, &cr2) && !isNameChar(peek()) && peek() != u'!') {
                n.kind = Kind::Area;
                n.rows[0] = quint16(r1);
                n.rows[1] = quint16(r2);
                n.columns[0] = flags(c1, rr1, cr1);
                n.columns[1] = flags(c2, rr2, cr2);
                return add(n);
            }
            m_pos = afterFirst;
        }
        if (!isNameChar(peek()) && peek() != u'!') {
            n.kind = Kind::Ref;
            n.rows[0] = quint16(r1);
            n.columns[0] = flags(c1, rr1, cr1);
            return add(n);
        }
    }
    m_pos = save;
    // Whole columns (A:C) and whole rows (1:3), as Excel stores them: the rows of a column
    // range and the columns of a row range absolute.
    if (columnOnly(&c1, &cr1) && peek() == u':') {
        ++m_pos;
        if (columnOnly(&c2, &cr2) && !isNameChar(peek()) && peek() != u'(' && peek() != u'!') {
            n.kind = Kind::Area;
            n.rows[0] = 0;
            n.rows[1] = kMaxRow;
            n.columns[0] = flags(c1, false, cr1);
            n.columns[1] = flags(c2, false, cr2);
            return add(n);
        }
    }
    m_pos = save;
    if (rowOnly(&r1, &rr1) && peek() == u':') {
        ++m_pos;
        if (rowOnly(&r2, &rr2)) {
            n.kind = Kind::Area;
            n.rows[0] = quint16(r1);
            n.rows[1] = quint16(r2);
            n.columns[0] = flags(0, rr1, false);
            n.columns[1] = flags(kMaxColumn, rr2, false);
            return add(n);
        }
    }
    m_pos = save;
    if (ixti >= 0) {
        fail(QStringLiteral("a sheet name before something other than a cell or range"));
        return -1;
    }
    const int from = m_pos;
    while (isNameChar(peek()))
        ++m_pos;
    const QString word = m_text.mid(from, m_pos - from);
    if (word.isEmpty()) {
        fail(QStringLiteral("unexpected \"%1\" at character %2").arg(peek()).arg(m_pos + 1));
        return -1;
    }
    if (peek() == u'(')
        return call(before, word);
    const QString upper = word.toUpper();
    if (upper == QLatin1String("TRUE") || upper == QLatin1String("FALSE")) {
        n.kind = Kind::Boolean;
        n.code = upper == QLatin1String("TRUE") ? 1 : 0;
        return add(n);
    }
    int index = 0;
    if (!m_refs.definedNameIndex(word, m_options.sheet, &index)) {
        fail(QStringLiteral("no defined name %1").arg(word));
        return -1;
    }
    n.kind = Kind::Name;
    n.index = index;
    return add(n);
}

int Compiler::call(const QString &before, const QString &name)
{
    ++m_pos; // (
    Node n;
    n.kind = Kind::Function;
    n.before = before;
    const FunctionTable::Function *f = FunctionTable::find(name);
    if (f) {
        n.index = f->index;
    } else {
        // Add-ins and functions newer than the table: index 255, named by the first operand.
        Node callee;
        callee.ixti = -1;
        int ixti = 0, index = 0;
        if (m_refs.definedNameIndex(name, m_options.sheet, &index)) {
            callee.kind = Kind::Name;
            callee.index = index;
        } else if (m_refs.externalNameIndex(0, name, &ixti, &index)) {
            callee.kind = Kind::NameX;
            callee.ixti = ixti;
            callee.index = index;
        } else {
            fail(QStringLiteral("unknown function %1").arg(name));
            return -1;
        }
        n.index = FunctionTable::kExternalCall;
        n.children.append(add(callee));
    }
    if (++m_depth > kMaxDepth) {
        fail(QStringLiteral("the formula nests more than %1 levels deep").arg(kMaxDepth));
        return -1;
    }
    const int save = m_pos;
    const QString ws = whitespace();
    if (peek() == u')') {
        ++m_pos;
        n.beforeClose = ws;
    } else {
        m_pos = save;
        for (;;) {
            const int argStart = m_pos;
            const QString lead = whitespace();
            if (peek() == u',' || peek() == u')') {
                Node missing;
                missing.kind = Kind::Missing;
                missing.before = lead;
                n.children.append(add(missing));
            } else {
                m_pos = argStart;
                const int arg = expression(false);
                if (arg < 0)
                    return -1;
                n.children.append(arg);
            }
            const QString trail = whitespace();
            if (peek() == u',') {
                if (!trail.isEmpty()) {
                    fail(QStringLiteral("spaces before a comma between arguments"));
                    return -1;
                }
                ++m_pos;
                continue;
            }
            if (peek() == u')') {
                ++m_pos;
                n.beforeClose = trail;
                break;
            }
            fail(QStringLiteral("a function call to %1 without its closing parenthesis").arg(name));
            return -1;
        }
    }
    --m_depth;
    const int argc = n.children.size() - (f ? 0 : 1);
    if (f && (argc < f->minArgs || argc > f->maxArgs)) {
        fail(QStringLiteral("%1 takes %2 to %3 arguments, not %4")
                 .arg(QLatin1String(f->name))
                 .arg(f->minArgs)
                 .arg(f->maxArgs)
                 .arg(argc));
        return -1;
    }
    if (!f && argc > kMaxArguments - 1) {
        fail(QStringLiteral("%1 takes at most %2 arguments").arg(name).arg(kMaxArguments - 1));
        return -1;
    }
    if (f && FunctionTable::isVolatile(f->index))
        m_volatile = true;
    return add(n);
}

// Token classes, as Excel derives them: each operand gets the class its function argument or
// operator wants; a function that must return an array forces its value arguments to arrays.
void Compiler::transform(int index, char wanted, bool forceArray)
{
    Node &n = m_nodes[index];
    switch (n.kind) {
    case Kind::Unary:
    case Kind::Percent:
    case Kind::Paren:
        for (int child : n.children)
            transform(child, valueOperand(wanted), forceArray);
        return;
    case Kind::Binary:
        if (n.code == 0x0F || n.code == 0x10 || n.code == 0x11) {
            // Range, union and intersection work on references.
            for (int child : n.children)
                transform(child, 'R', false);
        } else {
            for (int child : n.children)
                transform(child, valueOperand(wanted), forceArray);
        }
        return;
    case Kind::Function:
        transformFunction(n, wanted, forceArray);
        return;
    case Kind::Ref:
    case Kind::Area:
    case Kind::RefError:
    case Kind::Name:
    case Kind::NameX:
    case Kind::Array:
        if (wanted == 'V')
            n.cls = forceArray ? 'A' : 'V';
        else if (wanted == 'A')
            n.cls = 'A';
        else
            n.cls = forceArray ? 'R' : n.cls;
        return;
    default:
        return;
    }
}

void Compiler::transformFunction(Node &node, char wanted, bool forceArray)
{
    const FunctionTable::Function *f = FunctionTable::find(quint16(node.index));
    const int first = f ? 0 : 1; // an external call's name comes first
    const char result = f ? f->resultClass : 'R';
    auto argumentClass = [&](int i) { return f ? f->argumentClass(i) : 'R'; };
    const QVector<int> children = node.children;
    const int argc = children.size() - first;
    bool simpleValue = result == 'V';
    for (int i = 0; i < argc && simpleValue; ++i)
        simpleValue = argumentClass(i) == 'V';
    char cls;
    bool forceArgs = false;
    if (simpleValue) {
        forceArgs = forceArray || wanted == 'A';
        cls = forceArgs ? 'A' : 'V';
    } else if (forceArray) {
        cls = result == 'R' ? (wanted == 'R' ? 'R' : 'A') : 'A';
        forceArgs = result == 'V';
    } else if (result == wanted) {
        cls = result;
    } else if (wanted == 'V') {
        cls = 'V';
    } else if (wanted == 'A') {
        cls = result == 'R' ? 'R' : 'A';
        forceArgs = result == 'V';
    } else {
        cls = result;
    }
    node.cls = cls;
    if (!f)
        transform(children[0], 'R', false);
    for (int i = 0; i < argc; ++i) {
        char a = argumentClass(i);
        // In an array formula a function whose result is used as a value takes arrays, and
        // so do IF and CHOOSE, which pass their arguments on.
        const bool passesOn = node.index == 1 || node.index == 100;
        if (!simpleValue && a == 'V' && (cls != 'R' || passesOn) &&
            m_options.kind == FormulaCompiler::Kind::Array)
            a = 'A';
        // INDEX looks into an array where its first argument is computed rather than a
        // reference.
        const Kind k = m_nodes[children[first + i]].kind;
        if (node.index == 29 && i == 0 &&
            (k == Kind::Paren || k == Kind::Unary || k == Kind::Percent ||
             (k == Kind::Binary && m_nodes[children[first + i]].code < 0x0F)))
            a = 'A';
        transform(children[first + i], a, forceArgs);
    }
}

void Compiler::writeSpaces(const QString &ws, bool beforeClose, QByteArray &out)
{
    int i = 0;
    while (i < ws.size()) {
        const QChar c = ws[i];
        int count = 0;
        while (i < ws.size() && ws[i] == c && count < 255) {
            ++count;
            ++i;
        }
        const quint8 type = c == u'\n' ? (beforeClose ? 0x05 : 0x01) : (beforeClose ? 0x04 : 0x00);
        out.append(char(0x19));
        out.append(char(0x40));
        out.append(char(type));
        out.append(char(count));
    }
}

bool Compiler::writeNode(int index, QByteArray &out)
{
    const Node &n = m_nodes[index];
    switch (n.kind) {
    case Kind::Number: {
        writeSpaces(n.before, false, out);
        const double v = n.number;
        if (!n.negative && v >= 0 && v <= 65535 && v == std::floor(v) && !std::signbit(v)) {
            out.append(char(0x1E));
            cfb::appendU16(out, quint16(v));
        } else {
            out.append(char(0x1F));
            putF64(out, v);
        }
        return true;
    }
    case Kind::String:
        writeSpaces(n.before, false, out);
        out.append(char(0x17));
        putString(out, n.text, 1);
        return true;
    case Kind::Boolean:
        writeSpaces(n.before, false, out);
        out.append(char(0x1D));
        out.append(char(n.code));
        return true;
    case Kind::Error:
        writeSpaces(n.before, false, out);
        out.append(char(0x1C));
        out.append(char(n.code));
        return true;
    case Kind::Missing:
        writeSpaces(n.before, false, out);
        out.append(char(0x16));
        return true;
    case Kind::Ref:
        writeSpaces(n.before, false, out);
        out.append(char((n.ixti >= 0 ? 0x1A : 0x04) | classBits(n.cls)));
        if (n.ixti >= 0)
            cfb::appendU16(out, quint16(n.ixti));
        cfb::appendU16(out, n.rows[0]);
        cfb::appendU16(out, n.columns[0]);
        return true;
    case Kind::Area:
        writeSpaces(n.before, false, out);
        out.append(char((n.ixti >= 0 ? 0x1B : 0x05) | classBits(n.cls)));
        if (n.ixti >= 0)
            cfb::appendU16(out, quint16(n.ixti));
        cfb::appendU16(out, n.rows[0]);
        cfb::appendU16(out, n.rows[1]);
        cfb::appendU16(out, n.columns[0]);
        cfb::appendU16(out, n.columns[1]);
        return true;
    case Kind::RefError: {
        // The text does not say whether a cell or a range was lost: names held ranges.
        const bool area = m_options.kind == FormulaCompiler::Kind::Name;
        writeSpaces(n.before, false, out);
        out.append(char((area ? 0x1D : 0x1C) | classBits(n.cls)));
        cfb::appendU16(out, quint16(n.ixti));
        out.append(QByteArray(area ? 8 : 4, '\0'));
        return true;
    }
    case Kind::Name:
        writeSpaces(n.before, false, out);
        out.append(char(0x03 | classBits(n.cls)));
        cfb::appendU16(out, quint16(n.index));
        cfb::appendU16(out, 0);
        return true;
    case Kind::NameX:
        writeSpaces(n.before, false, out);
        out.append(char(0x19 | classBits(n.cls)));
        cfb::appendU16(out, quint16(n.ixti));
        cfb::appendU16(out, quint16(n.index));
        cfb::appendU16(out, 0);
        return true;
    case Kind::Array:
        writeSpaces(n.before, false, out);
        out.append(char(0x00 | classBits(n.cls)));
        out.append(QByteArray(7, '\0'));
        m_extra += n.array;
        return true;
    case Kind::Unary:
    case Kind::Percent:
        if (!writeNode(n.children[0], out))
            return false;
        writeSpaces(n.before, false, out);
        out.append(char(n.kind == Kind::Percent ? 0x14 : n.code));
        return true;
    case Kind::Binary: {
        const bool reference = n.code == 0x0F || n.code == 0x10 || n.code == 0x11;
        if (reference && !m_inReference) {
            // A reference computed by operators is announced by tMemFunc with its size.
            QByteArray inner;
            m_inReference = true;
            const bool ok = writeNode(index, inner);
            m_inReference = false;
            if (!ok)
                return false;
            out.append(char(0x29));
            cfb::appendU16(out, quint16(inner.size()));
            out += inner;
            return true;
        }
        if (!writeNode(n.children[0], out) || !writeNode(n.children[1], out))
            return false;
        writeSpaces(n.before, false, out);
        out.append(char(n.code));
        return true;
    }
    case Kind::Paren:
        if (!writeNode(n.children[0], out))
            return false;
        writeSpaces(n.before, false, out);
        writeSpaces(n.beforeClose, true, out);
        out.append(char(0x15));
        return true;
    case Kind::Function:
        break;
    }

    const FunctionTable::Function *f = FunctionTable::find(quint16(n.index));
    const int argc = n.children.size();
    auto finish = [&](QByteArray &o) {
        writeSpaces(n.before, false, o);
        writeSpaces(n.beforeClose, true, o);
        if (n.index == 4 && argc == 1) { // SUM of one argument: tAttrSum
            o.append(char(0x19));
            o.append(char(0x10));
            cfb::appendU16(o, 0);
        } else if (f && f->minArgs == f->maxArgs) {
            o.append(char(0x01 | classBits(n.cls)));
            cfb::appendU16(o, quint16(n.index));
        } else {
            o.append(char(0x02 | classBits(n.cls)));
            o.append(char(argc));
            cfb::appendU16(o, quint16(n.index));
        }
    };
    if (n.index == 1 || n.index == 100) {
        // IF and CHOOSE evaluate only the branch they take: jumps around the others.
        QByteArray head;
        if (!writeNode(n.children[0], head))
            return false;
        QVector<QByteArray> branches;
        for (int i = 1; i < argc; ++i) {
            QByteArray b;
            if (!writeNode(n.children[i], b))
                return false;
            branches.append(b);
        }
        QByteArray tail;
        finish(tail);
        constexpr int kAttr = 4;
        if (n.index == 1) {
            out += head;
            out.append(char(0x19));
            out.append(char(0x02));
            cfb::appendU16(out, quint16(branches[0].size() + kAttr));
            for (int i = 0; i < branches.size(); ++i) {
                out += branches[i];
                int rest = tail.size() - 1;
                for (int j = i + 1; j < branches.size(); ++j)
                    rest += branches[j].size() + kAttr;
                out.append(char(0x19));
                out.append(char(0x08));
                cfb::appendU16(out, quint16(rest));
            }
            out += tail;
            return true;
        }
        const int choices = branches.size();
        out += head;
        out.append(char(0x19));
        out.append(char(0x04));
        cfb::appendU16(out, quint16(choices));
        // Offsets from the start of the jump table: one per choice, then past the last.
        int offset = 2 * (choices + 1);
        for (int i = 0; i < choices; ++i) {
            cfb::appendU16(out, quint16(offset));
            offset += branches[i].size() + kAttr;
        }
        cfb::appendU16(out, quint16(offset));
        for (int i = 0; i < choices; ++i) {
            out += branches[i];
            int rest = tail.size() - 1;
            for (int j = i + 1; j < choices; ++j)
                rest += branches[j].size() + kAttr;
            out.append(char(0x19));
            out.append(char(0x08));
            cfb::appendU16(out, quint16(rest));
        }
        out += tail;
        return true;
    }
    for (int child : n.children) {
        if (!writeNode(child, out))
            return false;
    }
    finish(out);
    return true;
}

bool Compiler::run(FormulaCompiler::Output *out, QString *reason)
{
    auto refuse = [&]() {
        if (reason)
            *reason = m_error;
        return false;
    };
    if (m_text.size() > FormulaLimits::kMaxFormulaLength) {
        fail(QStringLiteral("a formula longer than %1 characters")
                 .arg(FormulaLimits::kMaxFormulaLength));
        return refuse();
    }
    if (m_text.contains(u'\r') || m_text.contains(u'\t')) {
        // Strings may hold them; elsewhere Excel keeps only spaces and line feeds.
        bool inString = false;
        for (QChar c : m_text) {
            if (c == u'"')
                inString = !inString;
            else if (!inString && (c == u'\r' || c == u'\t')) {
                fail(QStringLiteral("a tab or carriage return outside a string"));
                return refuse();
            }
        }
    }
    // The "=" a cell's text starts with is not part of the formula.
    if (m_text.startsWith(u'='))
        m_pos = 1;
    const int root = expression(m_options.kind == FormulaCompiler::Kind::Name);
    if (root < 0)
        return refuse();
    whitespace(); // Excel drops trailing spaces
    if (!atEnd()) {
        fail(QStringLiteral("unexpected \"%1\" at character %2").arg(peek()).arg(m_pos + 1));
        return refuse();
    }
    // An array formula's result is wanted as a value, as a cell formula's is: Excel stores its
    // top function as a value and arrays only below it.
    const char wanted = m_options.kind == FormulaCompiler::Kind::Name ? 'R' : 'V';
    transform(root, wanted, false);
    QByteArray tokens;
    if (m_volatile) {
        tokens.append(char(0x19));
        tokens.append(char(0x01));
        cfb::appendU16(tokens, 0);
    }
    if (!writeNode(root, tokens))
        return refuse();
    if (tokens.size() + m_extra.size() > kMaxTokenBytes) {
        fail(QStringLiteral("the formula's tokens take more than the %1 bytes a record holds")
                 .arg(kMaxTokenBytes));
        return refuse();
    }
    out->tokens = tokens;
    out->extra = m_extra;
    return true;
}

// The size of the token at c's position after its first byte, or -1 for one we cannot walk.
qsizetype tokenSize(quint8 ptg, cfb::ByteCursor &c)
{
    if (ptg < 0x20) {
        switch (ptg) {
        case 0x01:
        case 0x02:
            return 4;
        case 0x17: {
            const qsizetype from = c.position();
            const int count = c.u8();
            const int wide = c.u8() & 1;
            c.seek(from);
            return 2 + qsizetype(count) * (wide ? 2 : 1);
        }
        case 0x19: {
            const qsizetype from = c.position();
            const quint8 flags = c.u8();
            const quint16 data = c.u16();
            c.seek(from);
            return 3 + ((flags & 0x04) ? (qsizetype(data) + 1) * 2 : 0);
        }
        case 0x1C:
        case 0x1D:
            return 1;
        case 0x1E:
            return 2;
        case 0x1F:
            return 8;
        default:
            return ptg >= 0x03 && ptg <= 0x16 ? 0 : -1;
        }
    }
    switch ((ptg & 0x1F) | 0x20) {
    case 0x20:
        return 7;
    case 0x21:
    case 0x29:
    case 0x2E:
    case 0x2F:
        return 2;
    case 0x22:
        return 3;
    case 0x23:
    case 0x24:
    case 0x2A:
    case 0x2C:
        return 4;
    case 0x25:
    case 0x2B:
    case 0x2D:
        return 8;
    case 0x26:
    case 0x27:
    case 0x28:
    case 0x39:
    case 0x3A:
    case 0x3C:
        return 6;
    case 0x3B:
    case 0x3D:
        return 10;
    default:
        return -1;
    }
}

quint16 read16(const QByteArray &b, int at)
{
    return quint16(quint8(b[at]) | (quint8(b[at + 1]) << 8));
}

// Whether two token streams mean the same, token by token. Where Excel leaves bytes unused or
// a workbook holds two equal EXTERNSHEET entries, the bytes may differ:
// - the data word of tAttrSum and tAttrSemi, the seven reserved bytes of tArray, the
//   reserved word of tName and tNameX, and the payload of tRefErr/tAreaErr (2-D and 3-D),
//   which writers fill with whatever was there;
// - the EXTERNSHEET index of a 3-D reference when both entries name the same sheets.
bool sameMeaning(const QByteArray &a, const QByteArray &b, const FormulaNames &names)
{
    if (a.size() != b.size())
        return false;
    cfb::ByteCursor c(a);
    while (!c.atEnd()) {
        const int at = int(c.position());
        const quint8 ptg = c.u8();
        const qsizetype size = tokenSize(ptg, c);
        if (size < 0 || !c.skip(size) || quint8(b[at]) != ptg)
            return false;
        const int end = int(c.position());
        int from = at + 1; // the bytes compared as they are
        int to = end;
        const quint8 base = ptg < 0x20 ? ptg : quint8((ptg & 0x1F) | 0x20);
        if (base == 0x19) {
            const quint8 flags = quint8(a[at + 1]);
            if (flags != quint8(b[at + 1]))
                return false;
            if (flags == 0x10 || flags == 0x01)
                to = at + 2;
        } else if (base == 0x20 || base == 0x2A || base == 0x2B) {
            to = at + 1;
        } else if (base == 0x23) {
            to = at + 3;
        } else if (base == 0x39 || base == 0x3A || base == 0x3B || base == 0x3C || base == 0x3D) {
            const int ia = read16(a, at + 1), ib = read16(b, at + 1);
            QString pa, pb;
            const bool found = base == 0x39
                                   ? names.externalName(ia, read16(a, at + 3), &pa) &&
                                         names.externalName(ib, read16(b, at + 3), &pb)
                                   : names.sheetPrefix(ia, &pa) && names.sheetPrefix(ib, &pb);
            const bool same = ia == ib || (found && pa == pb);
            if (!same)
                return false;
            from = at + 3;
            if (base == 0x39)
                to = at + 5;
            else if (base == 0x3C || base == 0x3D)
                to = from;
        }
        if (a.mid(from, to - from) != b.mid(from, to - from))
            return false;
    }
    return true;
}

} // namespace

bool FormulaCompiler::skipToken(quint8 ptg, cfb::ByteCursor *c)
{
    const qsizetype size = tokenSize(ptg, *c);
    return size >= 0 && c->skip(size);
}

bool FormulaCompiler::sameTokens(const QByteArray &compiled, const QByteArray &stored,
                                 const FormulaNames &names)
{
    return sameMeaning(compiled, stored, names);
}

bool FormulaCompiler::compile(const QString &text, const FormulaReferences &references, Output *out,
                              QString *reason)
{
    return compile(text, references, Options(), out, reason);
}

bool FormulaCompiler::compile(const QString &text, const FormulaReferences &references,
                              const Options &options, Output *out, QString *reason)
{
    Compiler c(text, references, options);
    return c.run(out, reason);
}

bool FormulaCompiler::sharedAsCell(const QByteArray &tokens, int row, int column, QByteArray *out)
{
    QByteArray result = tokens;
    cfb::ByteCursor c(tokens);
    auto put16 = [&](int at, quint16 v) {
        result[at] = char(v & 0xFF);
        result[at + 1] = char(v >> 8);
    };
    auto at16 = [&](int at) { return quint16(quint8(tokens[at]) | (quint8(tokens[at + 1]) << 8)); };
    // Rows and columns stored as offsets where relative.
    auto fix = [&](int rowAt, int columnAt) {
        const quint16 col = at16(columnAt);
        if (col & 0x8000)
            put16(rowAt, quint16((row + qint16(at16(rowAt))) & kMaxRow));
        if (col & 0x4000)
            put16(columnAt,
                  quint16((col & 0xC000) | ((column + qint8(quint8(col & 0xFF))) & kMaxColumn)));
    };
    auto fixArea = [&](int at) {
        const quint16 col1 = at16(at + 4);
        const quint16 col2 = at16(at + 6);
        if (col1 & 0x8000)
            put16(at, quint16((row + qint16(at16(at))) & kMaxRow));
        if (col2 & 0x8000)
            put16(at + 2, quint16((row + qint16(at16(at + 2))) & kMaxRow));
        if (col1 & 0x4000)
            put16(at + 4,
                  quint16((col1 & 0xC000) | ((column + qint8(quint8(col1 & 0xFF))) & kMaxColumn)));
        if (col2 & 0x4000)
            put16(at + 6,
                  quint16((col2 & 0xC000) | ((column + qint8(quint8(col2 & 0xFF))) & kMaxColumn)));
    };
    while (!c.atEnd()) {
        const int at = int(c.position());
        const quint8 ptg = c.u8();
        const qsizetype size = tokenSize(ptg, c);
        if (size < 0 || !c.skip(size))
            return false;
        if (ptg < 0x20)
            continue;
        const quint8 base = (ptg & 0x1F) | 0x20;
        if (base == 0x2C) {
            result[at] = char((ptg & 0x60) | 0x04);
            fix(at + 1, at + 3);
        } else if (base == 0x2D) {
            result[at] = char((ptg & 0x60) | 0x05);
            fixArea(at + 1);
        } else if (base == 0x3A) {
            fix(at + 3, at + 5);
        } else if (base == 0x3B) {
            fixArea(at + 3);
        }
    }
    *out = result;
    return true;
}

bool FormulaCompiler::roundTrips(const Stored &stored, const FormulaNames &names,
                                 const FormulaReferences &references, QString *reason)
{
    FormulaDecompiler::Input in;
    in.tokens = stored.tokens;
    in.extra = stored.extra;
    in.row = stored.row;
    in.column = stored.column;
    in.references = stored.shared ? FormulaDecompiler::References::Relative
                                  : FormulaDecompiler::References::Absolute;
    QString text;
    if (!FormulaDecompiler::decompile(in, names, &text, reason))
        return false;
    Output out;
    if (!compile(text, references, stored.options, &out, reason))
        return false;
    QByteArray expected = stored.tokens;
    if (stored.shared && !sharedAsCell(stored.tokens, stored.row, stored.column, &expected)) {
        if (reason)
            *reason = QStringLiteral("the shared formula's tokens cannot be walked");
        return false;
    }
    if (!sameMeaning(out.tokens, expected, names) || !stored.extra.startsWith(out.extra)) {
        if (reason)
            *reason = QStringLiteral("its text %1 compiles to other tokens than it has").arg(text);
        return false;
    }
    return true;
}

} // namespace workbook::biff
