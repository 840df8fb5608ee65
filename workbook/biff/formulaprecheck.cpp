#include "workbook/biff/formulaprecheck.h"

#include "workbook/biff/errorcodes.h"
#include "workbook/biff/formulanames.h"
#include "workbook/biff/functiontable.h"

#include <QtEndian>
#include <cmath>
#include <cstring>

namespace workbook::biff
{

namespace
{

constexpr int kMaxNeedles = 32;
// Built-in functions have smaller indexes; a larger one is left to the decompiler.
constexpr int kFunctionSlots = 512;
constexpr qint64 kUnknown = -2;
constexpr qint64 kUnresolved = -1; // the decompiler must say why

bool isEastAsianLetter(QChar c)
{
    switch (c.script()) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
        return true;
    default:
        return false;
    }
}

// The runs of letters in the literal parts of a search text (wildcards and their escapes as
// FindPattern reads them) that only an atom can show.
QStringList needlesOf(const QString &what)
{
    QStringList out;
    QString run;
    bool eastAsian = false;
    auto close = [&]() {
        if ((run.size() >= 3 || eastAsian) && out.size() < kMaxNeedles)
            out.append(run);
        run.clear();
        eastAsian = false;
    };
    for (int i = 0; i < what.size(); ++i) {
        QChar c = what[i];
        if (c == QLatin1Char('~') && i + 1 < what.size() &&
            (what[i + 1] == QLatin1Char('*') || what[i + 1] == QLatin1Char('?') ||
             what[i + 1] == QLatin1Char('~'))) {
            close();
            ++i;
            continue;
        }
        if (c.isLetter()) {
            run.append(c);
            eastAsian = eastAsian || isEastAsianLetter(c);
        } else {
            close();
        }
    }
    close();
    return out;
}

// Reads tokens where they lie, as ByteCursor would: past the end, zero and no longer ok.
class TokenReader
{
public:
    TokenReader(const char *data, qsizetype size)
        : m_data(reinterpret_cast<const uchar *>(data)), m_size(size)
    {
    }
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos >= m_size; }
    bool skip(qsizetype count)
    {
        if (count < 0 || count > m_size - m_pos) {
            m_pos = m_size;
            return m_ok = false;
        }
        m_pos += count;
        return true;
    }
    // The next count bytes where they lie; null (and no longer ok) when fewer are left.
    const uchar *take(qsizetype count)
    {
        if (m_size - m_pos < count) {
            m_pos = m_size;
            m_ok = false;
            return nullptr;
        }
        const uchar *at = m_data + m_pos;
        m_pos += count;
        return at;
    }
    quint8 u8()
    {
        const uchar *at = take(1);
        return at ? *at : 0;
    }
    quint16 u16()
    {
        const uchar *at = take(2);
        return at ? qFromLittleEndian<quint16>(at) : 0;
    }
    double f64()
    {
        const uchar *at = take(8);
        const quint64 bits = at ? qFromLittleEndian<quint64>(at) : 0;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }

private:
    const uchar *m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

} // namespace

FormulaPrecheck::FormulaPrecheck(const QString &what, const FormulaNames &names)
    : m_names(names), m_functions(kFunctionSlots, kUnknown)
{
    const QStringList needles = needlesOf(what);
    for (const QString &n : needles)
        m_needles.append(FindPattern(n));
    m_all = m_needles.size() == 32 ? 0xFFFFFFFFu : (1u << m_needles.size()) - 1;
    m_refError = atom(QStringLiteral("#REF!"));
}

quint32 FormulaPrecheck::atom(QStringView text) const
{
    quint32 mask = 0;
    for (int i = 0; i < m_needles.size(); ++i) {
        if (m_needles[i].matches(text))
            mask |= 1u << i;
    }
    return mask;
}

qint64 FormulaPrecheck::functionAtom(int index)
{
    if (index < 0 || index >= kFunctionSlots)
        return kUnresolved;
    qint64 &v = m_functions[index];
    if (v == kUnknown) {
        const FunctionTable::Function *f = FunctionTable::find(quint16(index));
        v = f ? qint64(atom(QString::fromLatin1(f->name))) : kUnresolved;
    }
    return v;
}

bool FormulaPrecheck::mayMatch(const char *tokens, qsizetype size, bool relative)
{
    if (m_needles.isEmpty())
        return true;
    quint32 seen = relative ? m_refError : 0;
    TokenReader t(tokens, size);
    int depth = 0;
    // Pops n operands and pushes the result; false (decompile and let it judge) when short.
    auto reduce = [&depth](int n) {
        if (depth < n)
            return false;
        depth -= n - 1;
        return true;
    };
    auto cached = [&](QHash<int, qint64> &cache, int key, auto resolve) -> qint64 {
        auto it = cache.find(key);
        if (it == cache.end()) {
            QString text;
            it = cache.insert(key, resolve(&text) ? qint64(atom(text)) : kUnresolved);
        }
        return it.value();
    };
    while (!t.atEnd()) {
        const quint8 ptg = t.u8();
        qint64 found = 0;
        if (ptg >= 0x03 && ptg <= 0x11) {
            if (!reduce(2))
                return true;
        } else if (ptg >= 0x12 && ptg <= 0x15) {
            if (!reduce(1))
                return true;
        } else if (ptg < 0x20) {
            switch (ptg) {
            case 0x16:
                ++depth;
                break;
            case 0x17: {
                // At most 255 characters: tested where they are decoded, with no string built.
                char16_t text[255];
                const int count = t.u8();
                const quint8 flags = t.u8();
                if (flags & ~0x01)
                    return true; // flags a formula's string never has: the decompiler judges
                const bool wide = flags & 0x01;
                const uchar *chars = t.take(wide ? qsizetype(count) * 2 : count);
                if (!chars)
                    return true; // cut short: the decompiler says so
                for (int i = 0; i < count; ++i)
                    text[i] = wide ? char16_t(chars[2 * i] | (chars[2 * i + 1] << 8)) : chars[i];
                found = atom(QStringView(text, count));
                ++depth;
                break;
            }
            case 0x19: {
                const quint8 flags = t.u8();
                const quint16 data = t.u16();
                if (flags & 0x04) { // a jump table, as the decompiler reads it
                    t.skip((qint64(data) + 1) * 2);
                } else if (flags & 0x10) {
                    if (!reduce(1))
                        return true;
                    found = functionAtom(4); // SUM
                }
                break;
            }
            case 0x1C: {
                const QString e = errorCodeText(t.u8());
                if (e.isEmpty())
                    return true;
                found = atom(e);
                ++depth;
                break;
            }
            case 0x1D:
                found = atom(t.u8() ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
                ++depth;
                break;
            case 0x1E:
                t.skip(2);
                ++depth;
                break;
            case 0x1F:
                // A value that is no finite number shows as a word.
                if (!std::isfinite(t.f64()))
                    return true;
                ++depth;
                break;
            default:
                return true;
            }
        } else {
            switch ((ptg & 0x1F) | 0x20) {
            case 0x21: {
                const int index = t.u16();
                const FunctionTable::Function *f = FunctionTable::find(quint16(index));
                if (!f || f->minArgs != f->maxArgs || !reduce(f->minArgs))
                    return true;
                found = functionAtom(index);
                break;
            }
            case 0x22: {
                const int argc = t.u8() & 0x7F;
                const int index = t.u16() & 0x7FFF;
                // An add-in's or newer function's name is its first argument, an atom itself.
                if ((index == FunctionTable::kExternalCall && argc == 0) || !reduce(argc))
                    return true;
                if (index != FunctionTable::kExternalCall)
                    found = functionAtom(index);
                break;
            }
            case 0x23: {
                const int index = t.u16();
                t.skip(2);
                found = cached(m_definedNames, index,
                               [&](QString *s) { return m_names.definedName(index, s); });
                ++depth;
                break;
            }
            case 0x24:
            case 0x2C:
                t.skip(4);
                ++depth;
                break;
            case 0x25:
            case 0x2D:
                t.skip(8);
                ++depth;
                break;
            case 0x26: // tMemArea and its kin guide evaluation and show nothing
            case 0x27:
            case 0x28:
                t.skip(6);
                break;
            case 0x29:
            case 0x2E:
            case 0x2F:
                t.skip(2);
                break;
            case 0x2A:
                t.skip(4);
                found = m_refError;
                ++depth;
                break;
            case 0x2B:
                t.skip(8);
                found = m_refError;
                ++depth;
                break;
            case 0x39: {
                const int ixti = t.u16();
                const int index = t.u16();
                t.skip(2);
                const quint32 key = (quint32(ixti) << 16) | quint32(index);
                auto it = m_externalNames.find(key);
                if (it == m_externalNames.end()) {
                    QString text;
                    it = m_externalNames.insert(key, m_names.externalName(ixti, index, &text)
                                                         ? qint64(atom(text))
                                                         : kUnresolved);
                }
                found = it.value();
                ++depth;
                break;
            }
            case 0x3A:
            case 0x3B:
            case 0x3C:
            case 0x3D: {
                const int base = (ptg & 0x1F) | 0x20;
                const int ixti = t.u16();
                t.skip(base == 0x3A || base == 0x3C ? 4 : 8);
                found = cached(m_sheetPrefixes, ixti,
                               [&](QString *s) { return m_names.sheetPrefix(ixti, s); });
                if (found >= 0 && base >= 0x3C)
                    found |= m_refError;
                ++depth;
                break;
            }
            default: // array constants and anything unexpected: decompile
                return true;
            }
        }
        if (found < 0 || !t.ok())
            return true;
        seen |= quint32(found);
        if (seen == m_all)
            return true;
    }
    // A formula the decompiler would refuse is left to it, so that its reason is given.
    return depth != 1;
}

} // namespace workbook::biff
