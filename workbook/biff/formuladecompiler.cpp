#include "workbook/biff/formuladecompiler.h"

#include "workbook/biff/biffstring.h"
#include "workbook/biff/errorcodes.h"
#include "workbook/biff/formulanames.h"
#include "workbook/biff/functiontable.h"
#include "workbook/cfb/bytecursor.h"
#include "workbook/text/formulalimits.h"
#include "workbook/text/numbertext.h"

#include <QStringList>
#include <QVector>

namespace workbook::biff
{

namespace
{

constexpr int kMaxRow = 0xFFFF;
constexpr qint64 kBaseBudget = 65536;
constexpr qint64 kBudgetPerTokenByte = 256;
constexpr int kMaxColumn = 0xFF;

QString columnLetters(int column)
{
    QString s;
    int c = column + 1;
    while (c > 0) {
        const int r = (c - 1) % 26;
        s.prepend(QChar('A' + r));
        c = (c - 1) / 26;
    }
    return s;
}

QString quotedString(const QString &text)
{
    QString s = text;
    s.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

// One side of a reference: its value on the grid and whether it is relative.
struct Coordinate {
    int value = 0;
    bool relative = false;
};

class Decompiler
{
public:
    Decompiler(const FormulaDecompiler::Input &input, const FormulaNames &names)
        : m_in(input), m_names(names), m_tokens(input.tokens), m_extra(input.extra),
          m_budget(kBaseBudget + kBudgetPerTokenByte * qint64(input.tokens.size()))
    {
    }

    bool run(QString *out, QString *reason);

private:
    bool fail(const QString &why)
    {
        if (m_error.isEmpty())
            m_error = why;
        return false;
    }
    bool push(const QString &text)
    {
        if (text.size() > FormulaLimits::kMaxFormulaLength)
            return fail(QStringLiteral("the formula text grows beyond %1 characters")
                            .arg(FormulaLimits::kMaxFormulaLength));
        m_budget -= text.size();
        if (m_budget < 0)
            return fail(QStringLiteral("the formula nests too deeply to be shown"));
        m_stack.append(text);
        return true;
    }
    bool pop(QString *out)
    {
        if (m_stack.isEmpty())
            return fail(QStringLiteral("an operator or function is short of operands"));
        *out = m_stack.takeLast();
        return true;
    }
    QString takeBefore()
    {
        QString s = m_before;
        m_before.clear();
        return s;
    }
    QString takeBeforeClose()
    {
        QString s = m_beforeClose;
        m_beforeClose.clear();
        return s;
    }

    Coordinate row(quint16 stored, bool relative, bool shared) const;
    Coordinate column(quint16 stored, bool relative, bool shared) const;
    QString cell(quint16 rw, quint16 col, bool shared) const;
    QString area(quint16 rw1, quint16 rw2, quint16 col1, quint16 col2, bool shared) const;
    bool binary(const char *op);
    bool function(int index, int argc, bool variable);
    bool arrayConstant();
    bool attribute();

    const FormulaDecompiler::Input &m_in;
    const FormulaNames &m_names;
    cfb::ByteCursor m_tokens;
    cfb::ByteCursor m_extra;
    QVector<QString> m_stack;
    QString m_before;      // spaces or line breaks before the next token
    QString m_beforeClose; // before the next closing parenthesis
    QString m_error;
    // Characters the text may copy while it is built: nesting rebuilds the text at every level,
    // and a hostile formula must not cost more than a real one of its size.
    qint64 m_budget;
};

Coordinate Decompiler::row(quint16 stored, bool relative, bool shared) const
{
    if (relative && shared)
        return {(m_in.row + qint16(stored)) & kMaxRow, true};
    return {stored, relative};
}

Coordinate Decompiler::column(quint16 stored, bool relative, bool shared) const
{
    if (relative && shared)
        return {(m_in.column + qint8(quint8(stored & 0xFF))) & kMaxColumn, true};
    return {stored & kMaxColumn, relative};
}

QString Decompiler::cell(quint16 rw, quint16 col, bool shared) const
{
    const Coordinate r = row(rw, col & 0x8000, shared);
    const Coordinate c = column(col & 0x3FFF, col & 0x4000, shared);
    return (c.relative ? QString() : QStringLiteral("$")) + columnLetters(c.value) +
           (r.relative ? QString() : QStringLiteral("$")) + QString::number(r.value + 1);
}

QString Decompiler::area(quint16 rw1, quint16 rw2, quint16 col1, quint16 col2, bool shared) const
{
    const Coordinate r1 = row(rw1, col1 & 0x8000, shared);
    const Coordinate r2 = row(rw2, col2 & 0x8000, shared);
    const Coordinate c1 = column(col1 & 0x3FFF, col1 & 0x4000, shared);
    const Coordinate c2 = column(col2 & 0x3FFF, col2 & 0x4000, shared);
    auto colText = [](const Coordinate &c) {
        return (c.relative ? QString() : QStringLiteral("$")) + columnLetters(c.value);
    };
    auto rowText = [](const Coordinate &r) {
        return (r.relative ? QString() : QStringLiteral("$")) + QString::number(r.value + 1);
    };
    // Whole columns and whole rows show as Excel shows them: A:B, 1:3.
    if (r1.value == 0 && r2.value == kMaxRow)
        return colText(c1) + QLatin1Char(':') + colText(c2);
    if (c1.value == 0 && c2.value == kMaxColumn)
        return rowText(r1) + QLatin1Char(':') + rowText(r2);
    return colText(c1) + rowText(r1) + QLatin1Char(':') + colText(c2) + rowText(r2);
}

bool Decompiler::binary(const char *op)
{
    QString right, left;
    if (!pop(&right) || !pop(&left))
        return false;
    return push(left + takeBefore() + QLatin1String(op) + right);
}

bool Decompiler::function(int index, int argc, bool variable)
{
    const FunctionTable::Function *f = FunctionTable::find(quint16(index));
    if (!f && index != FunctionTable::kExternalCall)
        return fail(QStringLiteral("unknown function index %1").arg(index));
    if (!variable) {
        if (!f || f->minArgs != f->maxArgs)
            return fail(
                QStringLiteral("function index %1 called without an argument count").arg(index));
        argc = f->minArgs;
    }
    if (argc > m_stack.size())
        return fail(
            QStringLiteral("function index %1 is short of its %2 arguments").arg(index).arg(argc));
    QStringList args;
    for (int i = m_stack.size() - argc; i < m_stack.size(); ++i)
        args.append(m_stack[i]);
    m_stack.resize(m_stack.size() - argc);
    QString name;
    if (index == FunctionTable::kExternalCall) {
        // The function's name is its first argument (an add-in or a newer function).
        if (args.isEmpty())
            return fail(QStringLiteral("an external function call without its name"));
        name = args.takeFirst().trimmed();
    } else {
        name = QLatin1String(f->name);
    }
    const QString close = takeBeforeClose();
    return push(takeBefore() + name + QLatin1Char('(') + args.join(QLatin1Char(',')) + close +
                QLatin1Char(')'));
}

bool Decompiler::arrayConstant()
{
    const int columns = m_extra.u8() + 1;
    const int rows = m_extra.u16() + 1;
    if (!m_extra.ok() || qint64(columns) * rows > m_extra.remaining())
        return fail(QStringLiteral("an array constant larger than its stored data"));
    QString text = takeBefore() + QLatin1Char('{');
    for (int r = 0; r < rows; ++r) {
        if (r > 0)
            text += QLatin1Char(';');
        for (int c = 0; c < columns; ++c) {
            if (c > 0)
                text += QLatin1Char(',');
            const quint8 type = m_extra.u8();
            switch (type) {
            case 0x00:
                m_extra.skip(8);
                break;
            case 0x01:
                text += NumberText::format(m_extra.f64());
                break;
            case 0x02:
                text += quotedString(BiffString::read(m_extra, 2));
                break;
            case 0x04:
                text += m_extra.u8() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
                m_extra.skip(7);
                break;
            case 0x10:
                text += errorCodeText(m_extra.u8());
                m_extra.skip(7);
                break;
            default:
                return fail(QStringLiteral("unknown array constant value type %1").arg(type));
            }
            if (!m_extra.ok())
                return fail(QStringLiteral("an array constant cut short"));
            if (text.size() > FormulaLimits::kMaxFormulaLength)
                return fail(QStringLiteral("the formula text grows beyond %1 characters")
                                .arg(FormulaLimits::kMaxFormulaLength));
        }
    }
    return push(text + QLatin1Char('}'));
}

bool Decompiler::attribute()
{
    const quint8 flags = m_tokens.u8();
    const quint16 data = m_tokens.u16();
    if (flags & 0x04) { // tAttrChoose: a jump table of data + 1 offsets
        m_tokens.skip((qint64(data) + 1) * 2);
        return true;
    }
    if (flags & 0x10) { // tAttrSum: SUM with its one argument
        QString arg;
        if (!pop(&arg))
            return false;
        const QString close = takeBeforeClose();
        return push(takeBefore() + QStringLiteral("SUM(") + arg + close + QLatin1Char(')'));
    }
    if (flags & 0x40) { // tAttrSpace, tAttrSpaceSemi
        const quint8 type = data & 0xFF;
        const int count = data >> 8;
        switch (type) {
        case 0x00:
        case 0x02:
            m_before += QString(count, QLatin1Char(' '));
            break;
        case 0x01:
        case 0x03:
            m_before += QString(count, QLatin1Char('\n'));
            break;
        case 0x04:
            m_beforeClose += QString(count, QLatin1Char(' '));
            break;
        case 0x05:
            m_beforeClose += QString(count, QLatin1Char('\n'));
            break;
        default: // before the "=" of the formula, which the text leaves out
            break;
        }
    }
    // tAttrSemi, tAttrIf, tAttrGoto, tAttrBaxcel only guide evaluation.
    return true;
}

bool Decompiler::run(QString *out, QString *reason)
{
    const bool shared = m_in.references == FormulaDecompiler::References::Relative;
    while (!m_tokens.atEnd() && m_error.isEmpty()) {
        const quint8 ptg = m_tokens.u8();
        bool ok = true;
        if (ptg < 0x20) {
            switch (ptg) {
            case 0x03:
                ok = binary("+");
                break;
            case 0x04:
                ok = binary("-");
                break;
            case 0x05:
                ok = binary("*");
                break;
            case 0x06:
                ok = binary("/");
                break;
            case 0x07:
                ok = binary("^");
                break;
            case 0x08:
                ok = binary("&");
                break;
            case 0x09:
                ok = binary("<");
                break;
            case 0x0A:
                ok = binary("<=");
                break;
            case 0x0B:
                ok = binary("=");
                break;
            case 0x0C:
                ok = binary(">=");
                break;
            case 0x0D:
                ok = binary(">");
                break;
            case 0x0E:
                ok = binary("<>");
                break;
            case 0x0F:
                ok = binary(" ");
                break;
            case 0x10:
                ok = binary(",");
                break;
            case 0x11:
                ok = binary(":");
                break;
            case 0x12:
            case 0x13: {
                QString a;
                ok = pop(&a) && push(takeBefore() + QLatin1Char(ptg == 0x12 ? '+' : '-') + a);
                break;
            }
            case 0x14: {
                QString a;
                ok = pop(&a) && push(a + takeBefore() + QLatin1Char('%'));
                break;
            }
            case 0x15: {
                QString a;
                ok = pop(&a);
                if (ok) {
                    const QString close = takeBeforeClose();
                    ok = push(takeBefore() + QLatin1Char('(') + a + close + QLatin1Char(')'));
                }
                break;
            }
            case 0x16:
                ok = push(takeBefore());
                break;
            case 0x17: {
                const QString s = BiffString::read(m_tokens, 1);
                ok = m_tokens.ok() && push(takeBefore() + quotedString(s));
                break;
            }
            case 0x19:
                ok = attribute();
                break;
            case 0x1C: {
                const QString e = errorCodeText(m_tokens.u8());
                ok = !e.isEmpty() ? push(takeBefore() + e)
                                  : fail(QStringLiteral("an unknown error constant"));
                break;
            }
            case 0x1D:
                ok = push(takeBefore() +
                          (m_tokens.u8() ? QStringLiteral("TRUE") : QStringLiteral("FALSE")));
                break;
            case 0x1E:
                ok = push(takeBefore() + QString::number(m_tokens.u16()));
                break;
            case 0x1F:
                ok = push(takeBefore() + NumberText::format(m_tokens.f64()));
                break;
            default:
                ok = fail(QStringLiteral("unexpected token %1").arg(ptg, 2, 16, QLatin1Char('0')));
            }
        } else {
            // Operand tokens come in three classes (reference, value, array) that show alike.
            switch ((ptg & 0x1F) | 0x20) {
            case 0x20: // tArray: the values are in the extra data
                m_tokens.skip(7);
                ok = arrayConstant();
                break;
            case 0x21:
                ok = function(m_tokens.u16(), 0, false);
                break;
            case 0x22: {
                const int argc = m_tokens.u8() & 0x7F;
                ok = function(m_tokens.u16() & 0x7FFF, argc, true);
                break;
            }
            case 0x23: {
                const int index = m_tokens.u16();
                m_tokens.skip(2);
                QString name;
                ok = m_names.definedName(index, &name)
                         ? push(takeBefore() + name)
                         : fail(QStringLiteral("a reference to defined name %1, which does not "
                                               "exist")
                                    .arg(index));
                break;
            }
            case 0x24: {
                const quint16 rw = m_tokens.u16();
                const quint16 col = m_tokens.u16();
                ok = push(takeBefore() + cell(rw, col, false));
                break;
            }
            case 0x25: {
                const quint16 r1 = m_tokens.u16(), r2 = m_tokens.u16();
                const quint16 c1 = m_tokens.u16(), c2 = m_tokens.u16();
                ok = push(takeBefore() + area(r1, r2, c1, c2, false));
                break;
            }
            case 0x26: { // tMemArea: its areas are in the extra data; the text follows
                m_tokens.skip(6);
                const int count = m_extra.u16();
                m_extra.skip(qint64(count) * 8);
                ok = m_extra.ok() || fail(QStringLiteral("a tMemArea without its areas"));
                break;
            }
            case 0x27:
            case 0x28:
                m_tokens.skip(6);
                break;
            case 0x29:
            case 0x2E:
            case 0x2F:
                m_tokens.skip(2);
                break;
            case 0x2A:
                m_tokens.skip(4);
                ok = push(takeBefore() + QStringLiteral("#REF!"));
                break;
            case 0x2B:
                m_tokens.skip(8);
                ok = push(takeBefore() + QStringLiteral("#REF!"));
                break;
            case 0x2C: {
                const quint16 rw = m_tokens.u16();
                const quint16 col = m_tokens.u16();
                ok = push(takeBefore() + cell(rw, col, true));
                break;
            }
            case 0x2D: {
                const quint16 r1 = m_tokens.u16(), r2 = m_tokens.u16();
                const quint16 c1 = m_tokens.u16(), c2 = m_tokens.u16();
                ok = push(takeBefore() + area(r1, r2, c1, c2, true));
                break;
            }
            case 0x39: {
                const int ixti = m_tokens.u16();
                const int index = m_tokens.u16();
                m_tokens.skip(2);
                QString name;
                ok = m_names.externalName(ixti, index, &name)
                         ? push(takeBefore() + name)
                         : fail(QStringLiteral("a reference to external name %1 of entry %2, "
                                               "which does not exist")
                                    .arg(index)
                                    .arg(ixti));
                break;
            }
            case 0x3A:
            case 0x3B:
            case 0x3C:
            case 0x3D: {
                const int base = (ptg & 0x1F) | 0x20;
                const int ixti = m_tokens.u16();
                QString prefix;
                if (!m_names.sheetPrefix(ixti, &prefix)) {
                    ok = fail(QStringLiteral("a reference through EXTERNSHEET entry %1, which "
                                             "does not exist")
                                  .arg(ixti));
                    break;
                }
                QString target;
                if (base == 0x3A) {
                    const quint16 rw = m_tokens.u16();
                    const quint16 col = m_tokens.u16();
                    target = cell(rw, col, shared);
                } else if (base == 0x3B) {
                    const quint16 r1 = m_tokens.u16(), r2 = m_tokens.u16();
                    const quint16 c1 = m_tokens.u16(), c2 = m_tokens.u16();
                    target = area(r1, r2, c1, c2, shared);
                } else {
                    m_tokens.skip(base == 0x3C ? 4 : 8);
                    target = QStringLiteral("#REF!");
                }
                ok = push(takeBefore() + prefix + target);
                break;
            }
            default:
                ok = fail(QStringLiteral("unexpected token %1").arg(ptg, 2, 16, QLatin1Char('0')));
            }
        }
        if (!ok || !m_tokens.ok()) {
            fail(QStringLiteral("a token cut short at the end of the formula"));
            break;
        }
    }
    if (m_error.isEmpty() && m_stack.size() != 1)
        fail(m_stack.isEmpty()
                 ? QStringLiteral("an empty formula")
                 : QStringLiteral("%1 operands left without an operator").arg(m_stack.size()));
    if (!m_error.isEmpty()) {
        if (reason)
            *reason = m_error;
        return false;
    }
    *out = m_stack.first();
    return true;
}

} // namespace

bool FormulaDecompiler::decompile(const Input &input, const FormulaNames &names, QString *out,
                                  QString *reason)
{
    Decompiler d(input, names);
    return d.run(out, reason);
}

} // namespace workbook::biff
