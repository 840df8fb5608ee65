#include "workbook/text/formulatokenizer.h"

#include "workbook/text/sharedformulashift.h"

namespace workbook::text
{

namespace
{

const char *const kErrorLiterals[] = {"#NULL!",    "#DIV/0!", "#VALUE!",  "#REF!",
                                      "#NAME?",    "#NUM!",   "#N/A",     "#GETTING_DATA",
                                      "#SPILL!",   "#CALC!",  "#FIELD!",  "#BLOCKED!",
                                      "#CONNECT!", "#BUSY!",  "#UNKNOWN!"};

// Characters of an unquoted name: sheet names, defined names, functions, cell references.
bool isWordChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80) {
        return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
               u == '_' || u == '.' || u == '\\' || u == '$' || u == '?';
    }
    return c.isLetterOrNumber() || c.isSurrogate() || c.isMark();
}

qsizetype wordEnd(QStringView f, qsizetype i)
{
    while (i < f.size() && isWordChar(f[i])) {
        ++i;
    }
    return i;
}

// One part of a reference: column letters and/or row digits, each optionally $-anchored.
enum PartKind { kNone, kCell, kColumn, kRow };

PartKind refPart(QStringView w)
{
    qsizetype i = 0;
    const qsizetype n = w.size();
    if (i < n && w[i] == u'$') {
        ++i;
    }
    const qsizetype letters = i;
    int column = 0;
    while (i < n && ((w[i] >= u'A' && w[i] <= u'Z') || (w[i] >= u'a' && w[i] <= u'z'))) {
        column = column * 26 + ((w[i].unicode() | 0x20) - 'a' + 1);
        ++i;
        if (i - letters > 3) {
            return kNone;
        }
    }
    const bool hasColumn = i > letters;
    if (hasColumn && column > SharedFormulaShift::kMaxColumn) {
        return kNone;
    }
    if (i < n && w[i] == u'$') {
        if (!hasColumn && i > 0) {
            return kNone;
        }
        ++i;
    }
    const qsizetype digits = i;
    long long row = 0;
    while (i < n && w[i] >= u'0' && w[i] <= u'9') {
        row = row * 10 + (w[i].unicode() - '0');
        if (row > SharedFormulaShift::kMaxRow) {
            return kNone;
        }
        ++i;
    }
    const bool hasRow = i > digits;
    if (i != n || (hasRow && row < 1)) {
        return kNone;
    }
    if (hasColumn && hasRow) {
        return kCell;
    }
    if (hasColumn) {
        return w.endsWith(u'$') ? kNone : kColumn;
    }
    if (hasRow && (w.startsWith(u'$') ? digits == 1 : digits == 0)) {
        return kRow;
    }
    return kNone;
}

// Length of a reference (A1, A1:B2, A:B, 1:2) starting at i, or 0.
qsizetype referenceLength(QStringView f, qsizetype i)
{
    const qsizetype e1 = wordEnd(f, i);
    if (e1 == i || (e1 < f.size() && (f[e1] == u'(' || f[e1] == u'['))) {
        return 0;
    }
    const PartKind first = refPart(f.mid(i, e1 - i));
    if (e1 < f.size() && f[e1] == u':') {
        const qsizetype e2 = wordEnd(f, e1 + 1);
        if (e2 > e1 + 1 && !(e2 < f.size() && (f[e2] == u'(' || f[e2] == u'[' || f[e2] == u'!'))) {
            const PartKind second = refPart(f.mid(e1 + 1, e2 - e1 - 1));
            if (first != kNone && first == second) {
                return e2 - i;
            }
        }
    }
    return first == kCell ? e1 - i : 0;
}

// The end of a quoted name starting at i (the opening '), just past the closing one; -1 when
// it never closes.
qsizetype quotedEnd(QStringView f, qsizetype i)
{
    for (qsizetype k = i + 1; k < f.size(); ++k) {
        if (f[k] == u'\'') {
            if (k + 1 < f.size() && f[k + 1] == u'\'') {
                ++k;
            } else {
                return k + 1;
            }
        }
    }
    return -1;
}

// A structured-reference bracket group from i ('['), nested, with ' escaping the next
// character; -1 when it never closes.
qsizetype bracketEnd(QStringView f, qsizetype i)
{
    int depth = 0;
    for (qsizetype k = i; k < f.size(); ++k) {
        const char16_t c = f[k].unicode();
        if (c == '\'') {
            ++k;
        } else if (c == '[') {
            ++depth;
        } else if (c == ']' && --depth == 0) {
            return k + 1;
        }
    }
    return -1;
}

void setSheets(FormulaToken &t, QStringView names)
{
    // Inside a prefix the workbook part is [..]; a ':' outside it separates a 3-D range.
    qsizetype sheetStart = 0;
    const qsizetype close = names.lastIndexOf(u']');
    if (names.startsWith(u'[') || (close >= 0 && names.indexOf(u'[') >= 0)) {
        t.external = true;
        sheetStart = close + 1;
    }
    const QStringView sheets = names.mid(sheetStart);
    const qsizetype colon = t.external ? -1 : sheets.indexOf(u':');
    if (colon >= 0) {
        t.firstSheet = sheets.left(colon).toString();
        t.lastSheet = sheets.mid(colon + 1).toString();
    } else {
        t.firstSheet = sheets.toString();
    }
}

class Scanner
{
public:
    explicit Scanner(QStringView f) : m_f(f) { m_tokens.reserve(16); }

    QVector<FormulaToken> run()
    {
        const qsizetype n = m_f.size();
        qsizetype i = 0;
        while (i < n) {
            const char16_t c = m_f[i].unicode();
            if (c == '"') {
                i = string(i);
            } else if (c == '#') {
                i = error(i);
            } else if (c == '\'') {
                i = quoted(i);
            } else if (c == '[') {
                i = bracket(i);
            } else if (isWordChar(m_f[i])) {
                i = word(i);
            } else {
                other(i, 1);
                ++i;
            }
        }
        return m_tokens;
    }

private:
    void push(FormulaToken::Type type, qsizetype start, qsizetype length)
    {
        FormulaToken t;
        t.type = type;
        t.start = start;
        t.length = length;
        m_tokens.append(t);
    }

    void other(qsizetype start, qsizetype length)
    {
        if (!m_tokens.isEmpty() && m_tokens.last().type == FormulaToken::Type::Other &&
            m_tokens.last().start + m_tokens.last().length == start) {
            m_tokens.last().length += length;
        } else {
            push(FormulaToken::Type::Other, start, length);
        }
    }

    qsizetype string(qsizetype i)
    {
        for (qsizetype k = i + 1; k < m_f.size(); ++k) {
            if (m_f[k] == u'"') {
                if (k + 1 < m_f.size() && m_f[k + 1] == u'"') {
                    ++k;
                } else {
                    push(FormulaToken::Type::String, i, k + 1 - i);
                    return k + 1;
                }
            }
        }
        push(FormulaToken::Type::Unterminated, i, m_f.size() - i);
        return m_f.size();
    }

    qsizetype error(qsizetype i)
    {
        for (const char *e : kErrorLiterals) {
            const qsizetype len = qsizetype(qstrlen(e));
            if (m_f.mid(i, len).compare(QLatin1String(e), Qt::CaseInsensitive) == 0) {
                push(FormulaToken::Type::Error, i, len);
                return i + len;
            }
        }
        other(i, 1); // the spill operator A1#
        return i + 1;
    }

    // After a sheet prefix: the reference it qualifies, if it is one.
    qsizetype afterPrefix(qsizetype i)
    {
        const qsizetype len = referenceLength(m_f, i);
        if (len > 0) {
            push(FormulaToken::Type::CellRef, i, len);
        }
        return i + len;
    }

    void prefix(qsizetype start, qsizetype end, QStringView names, bool quoted)
    {
        FormulaToken t;
        t.type = FormulaToken::Type::SheetPrefix;
        t.start = start;
        t.length = end - start;
        t.quoted = quoted;
        setSheets(t, names);
        m_tokens.append(t);
    }

    qsizetype quoted(qsizetype i)
    {
        const qsizetype end = quotedEnd(m_f, i);
        if (end < 0) {
            push(FormulaToken::Type::Unterminated, i, m_f.size() - i);
            return m_f.size();
        }
        if (end < m_f.size() && m_f[end] == u'!') {
            QString names = m_f.mid(i + 1, end - i - 2).toString();
            names.replace(QLatin1String("''"), QLatin1String("'"));
            prefix(i, end + 1, names, true);
            return afterPrefix(end + 1);
        }
        other(i, end - i);
        return end;
    }

    qsizetype bracket(qsizetype i)
    {
        const bool afterWord = i > 0 && (isWordChar(m_f[i - 1]) || m_f[i - 1] == u']');
        if (!afterWord) {
            // [1]Sheet1!A1, [1]!Name, [Book.xlsx]Sheet1:Sheet2!A1
            const qsizetype close = m_f.indexOf(u']', i);
            if (close > i) {
                qsizetype k = close + 1;
                if (k < m_f.size() && m_f[k] == u'!') {
                    prefix(i, k + 1, m_f.mid(i, close + 1 - i), false);
                    return k + 1;
                }
                qsizetype e = wordEnd(m_f, k);
                if (e > k && e < m_f.size() && m_f[e] == u':') {
                    const qsizetype e2 = wordEnd(m_f, e + 1);
                    if (e2 > e + 1 && e2 < m_f.size() && m_f[e2] == u'!') {
                        e = e2;
                    }
                }
                if (e > k && e < m_f.size() && m_f[e] == u'!') {
                    prefix(i, e + 1, m_f.mid(i, e - i), false);
                    return afterPrefix(e + 1);
                }
            }
        }
        const qsizetype end = bracketEnd(m_f, i);
        if (end < 0) {
            push(FormulaToken::Type::Unterminated, i, m_f.size() - i);
            return m_f.size();
        }
        push(FormulaToken::Type::Bracket, i, end - i);
        return end;
    }

    qsizetype word(qsizetype i)
    {
        const qsizetype n = m_f.size();
        const qsizetype e = wordEnd(m_f, i);
        if (e < n && m_f[e] == u'!') {
            prefix(i, e + 1, m_f.mid(i, e - i), false);
            return afterPrefix(e + 1);
        }
        if (e < n && m_f[e] == u':') {
            const qsizetype e2 = wordEnd(m_f, e + 1);
            if (e2 > e + 1 && e2 < n && m_f[e2] == u'!') {
                prefix(i, e2 + 1, m_f.mid(i, e2 - i), false);
                return afterPrefix(e2 + 1);
            }
        }
        // A name glued to something before it (1E+3's "E", Table1[..]'s name) is no reference.
        const bool glued = i > 0 && (m_f[i - 1] == u']' || m_f[i - 1] == u'#');
        const qsizetype len = glued ? 0 : referenceLength(m_f, i);
        if (len > 0) {
            push(FormulaToken::Type::CellRef, i, len);
            return i + len;
        }
        other(i, e - i);
        return e;
    }

    QStringView m_f;
    QVector<FormulaToken> m_tokens;
};

} // namespace

QVector<FormulaToken> FormulaTokenizer::tokenize(QStringView formula)
{
    return Scanner(formula).run();
}

} // namespace workbook::text
