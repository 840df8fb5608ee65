#include "workbook/text/structuredreferencerename.h"

#include "workbook/text/casefolding.h"
#include "workbook/text/formulatokenizer.h"

namespace workbook::text
{

namespace
{

bool isTableNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'\\' || c.isSurrogate();
}

QString unescaped(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\'' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

// Characters that make a column name need its own brackets inside a reference.
bool needsBrackets(QStringView column)
{
    static const QLatin1String kSpecial(" \t\n\r,:.[]#'\"{}$^&*+=-<>/");
    for (const QChar c : column) {
        if (kSpecial.contains(c))
            return true;
    }
    return false;
}

// The end of a bracketed item starting at i (its "["), just past its "]"; -1 when open.
qsizetype itemEnd(QStringView text, qsizetype i)
{
    for (qsizetype k = i + 1; k < text.size(); ++k) {
        if (text[k] == u'\'')
            ++k;
        else if (text[k] == u']')
            return k + 1;
    }
    return -1;
}

class ColumnRenamer
{
public:
    ColumnRenamer(QStringView oldColumn, QStringView newColumn) : m_old(oldColumn), m_new(newColumn)
    {
    }

    // The specifier between a reference's outer brackets, rewritten.
    QString specifier(QStringView inner, bool *changed) const
    {
        const QStringView trimmed = inner.trimmed();
        if (trimmed.startsWith(u'['))
            return items(inner, changed);
        if (trimmed.startsWith(u'#'))
            return inner.toString();
        if (trimmed.startsWith(u'@')) {
            const qsizetype at = inner.indexOf(u'@');
            const QStringView rest = inner.mid(at + 1);
            if (rest.trimmed().startsWith(u'['))
                return inner.left(at + 1).toString() + items(rest, changed);
            return inner.left(at + 1).toString() + simple(rest, changed);
        }
        return simple(inner, changed);
    }

private:
    bool names(QStringView escapedColumn) const
    {
        return CaseFolding::equal(unescaped(escapedColumn), m_old);
    }

    QString simple(QStringView column, bool *changed) const
    {
        if (!names(column))
            return column.toString();
        *changed = true;
        const QString e = StructuredReferenceRename::escaped(m_new);
        return needsBrackets(m_new) ? QLatin1Char('[') + e + QLatin1Char(']') : e;
    }

    // [#This Row],[Col]  or  [Col1]:[Col2]: every bracketed item that names the column.
    QString items(QStringView text, bool *changed) const
    {
        QString out;
        qsizetype i = 0;
        while (i < text.size()) {
            if (text[i] == u',' || text[i] == u':' || text[i] == u' ') {
                out += text[i++];
                continue;
            }
            if (text[i] != u'[') {
                // A bare column name among the items ([#This Row],Amount), as some writers
                // store [@Amount].
                qsizetype end = i;
                while (end < text.size() && text[end] != u',' && text[end] != u':' &&
                       text[end] != u'[') {
                    if (text[end] == u'\'')
                        ++end;
                    ++end;
                }
                end = qMin(end, text.size());
                out += simple(text.mid(i, end - i), changed);
                i = end;
                continue;
            }
            const qsizetype end = itemEnd(text, i);
            if (end < 0) {
                out += text.mid(i);
                break;
            }
            const QStringView item = text.mid(i + 1, end - i - 2);
            if (!item.startsWith(u'#') && names(item)) {
                out +=
                    QLatin1Char('[') + StructuredReferenceRename::escaped(m_new) + QLatin1Char(']');
                *changed = true;
            } else {
                out += text.mid(i, end - i);
            }
            i = end;
        }
        return out;
    }

    QStringView m_old;
    QStringView m_new;
};

} // namespace

QString StructuredReferenceRename::escaped(QStringView column)
{
    QString out;
    out.reserve(column.size());
    for (const QChar c : column) {
        if (c == u'[' || c == u']' || c == u'#' || c == u'\'')
            out += QLatin1Char('\'');
        out += c;
    }
    return out;
}

std::optional<QString> StructuredReferenceRename::renameColumn(QStringView formula,
                                                               QStringView table,
                                                               QStringView oldColumn,
                                                               QStringView newColumn,
                                                               bool insideTable)
{
    const ColumnRenamer renamer(oldColumn, newColumn);
    QString out;
    bool changed = false;
    qsizetype copied = 0;
    for (const FormulaToken &t : FormulaTokenizer::tokenize(formula)) {
        if (t.type != FormulaToken::Type::Bracket || t.length < 2)
            continue;
        qsizetype nameStart = t.start;
        while (nameStart > 0 && isTableNameChar(formula[nameStart - 1]))
            --nameStart;
        const QStringView qualifier = formula.mid(nameStart, t.start - nameStart);
        const bool ours = qualifier.isEmpty() ? insideTable : CaseFolding::equal(qualifier, table);
        if (!ours)
            continue;
        bool here = false;
        const QString rewritten = renamer.specifier(formula.mid(t.start + 1, t.length - 2), &here);
        if (!here)
            continue;
        out += formula.mid(copied, t.start + 1 - copied);
        out += rewritten;
        out += QLatin1Char(']');
        copied = t.start + t.length;
        changed = true;
    }
    if (!changed)
        return std::nullopt;
    out += formula.mid(copied);
    return out;
}

} // namespace workbook::text
