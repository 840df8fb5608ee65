#include "workbook/text/findpattern.h"

#include "workbook/text/casefolding.h"
#include "workbook/text/widthfolding.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace workbook::text
{

namespace
{

// Which code points fold onto another one. Built once from Qt's tables, so the UTF-8
// pre-test knows exactly which letters have case partners; only patterns whose anchor leaves
// ASCII need it, so the scan is not paid by every run.
struct FoldTargets {
    std::vector<char32_t> sorted; // c such that fold(x) == c for some x != c

    FoldTargets()
    {
        for (char32_t u = 0; u < 0x20000; ++u) {
            if (u >= 0xD800 && u < 0xE000) {
                continue;
            }
            const char32_t f = WidthFolding::foldForMatch(u);
            if (f != u) {
                sorted.push_back(f);
            }
        }
        std::sort(sorted.begin(), sorted.end());
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    }

    bool isCaseless(char32_t c) const
    {
        return WidthFolding::foldForMatch(c) == c &&
               !std::binary_search(sorted.begin(), sorted.end(), c);
    }
};

const FoldTargets &foldTargets()
{
    static const FoldTargets targets;
    return targets;
}

inline char32_t foldUnitFast(char16_t c)
{
    return c < 0x80 ? ((c >= 'A' && c <= 'Z') ? char32_t(c + 32) : char32_t(c))
                    : WidthFolding::foldForMatch(c);
}

inline unsigned char asciiLower(unsigned char b)
{
    return (b >= 'A' && b <= 'Z') ? b + 32 : b;
}

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out.append(char(c));
    } else if (c < 0x800) {
        out.append(char(0xC0 | (c >> 6)));
        out.append(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(char(0xE0 | (c >> 12)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    } else {
        out.append(char(0xF0 | (c >> 18)));
        out.append(char(0x80 | ((c >> 12) & 0x3F)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    }
}

bool containsBytes(const char *data, qsizetype size, const QByteArray &needle)
{
#ifdef _WIN32
    // The C library there has no memmem.
    const char *end = data + size;
    return std::search(data, end, needle.constData(), needle.constData() + needle.size()) != end ||
           needle.isEmpty();
#else
    return memmem(data, size_t(size), needle.constData(), size_t(needle.size())) != nullptr;
#endif
}

} // namespace

FindPattern::FindPattern(QStringView what)
{
    if (what.isEmpty()) {
        return;
    }
    m_segments.append(Segment{0, 0});
    qsizetype i = 0;
    while (i < what.size()) {
        char32_t c = CaseFolding::nextCodePoint(what, i);
        if (c == '*') {
            if (m_segments.last().count != 0 || m_segments.size() == 1) {
                m_segments.append(Segment{m_items.size(), 0});
            }
            continue;
        }
        if (c == '?') {
            m_items.append(Item{Kind::AnyOne, 0});
            ++m_segments.last().count;
            continue;
        }
        if (c == '~' && i < what.size()) {
            const char16_t next = what[i].unicode();
            if (next == '*' || next == '?' || next == '~') {
                c = next;
                ++i;
            }
        }
        m_items.append(Item{Kind::Literal, WidthFolding::foldForMatch(c)});
        ++m_segments.last().count;
    }

    // The anchor of the pre-test is the longest run of literals that a byte search can find:
    // ASCII ones (any case or width is checked for) or ones outside ASCII that nothing else
    // folds onto.
    enum class Class { None, Ascii, Caseless };
    auto classOf = [](const Item &item) {
        if (item.kind != Kind::Literal)
            return Class::None;
        if (item.folded < 0x80)
            return Class::Ascii;
        return foldTargets().isCaseless(item.folded) ? Class::Caseless : Class::None;
    };
    qsizetype bestStart = 0;
    qsizetype bestLength = 0;
    Class bestClass = Class::None;
    for (const Segment &s : qAsConst(m_segments)) {
        qsizetype runStart = s.first;
        Class runClass = Class::None;
        for (qsizetype k = s.first; k <= s.first + s.count; ++k) {
            const Class c = k < s.first + s.count ? classOf(m_items[k]) : Class::None;
            if (c == runClass && c != Class::None)
                continue;
            if (runClass != Class::None && k - runStart > bestLength) {
                bestStart = runStart;
                bestLength = k - runStart;
                bestClass = runClass;
            }
            runStart = k;
            runClass = c;
        }
    }
    if (bestLength == 0) {
        return;
    }
    for (qsizetype k = bestStart; k < bestStart + bestLength; ++k) {
        appendUtf8(m_anchorUtf8, m_items[k].folded);
    }
    if (bestClass == Class::Ascii) {
        m_anchorAscii = true;
        for (const char c : qAsConst(m_anchorUtf8)) {
            m_anchorLetters[uchar(c) >> 6] |= quint64(1) << (uchar(c) & 63);
        }
        for (const auto &pair : CaseFolding::kNonAsciiFoldingToAscii) {
            if (m_anchorUtf8.contains(char(pair.folded))) {
                QByteArray variant;
                appendUtf8(variant, pair.codePoint);
                m_asciiVariantsUtf8.append(variant);
            }
        }
    }
}

FindPattern FindPattern::compiled(const QString &what)
{
    thread_local QString lastText;
    thread_local FindPattern last;
    if (what != lastText) {
        last = FindPattern(what);
        lastText = what;
    }
    return last;
}

QVector<char32_t> FindPattern::longestLiteralRun() const
{
    qsizetype bestStart = 0;
    qsizetype bestLength = 0;
    for (const Segment &s : m_segments) {
        qsizetype runStart = s.first;
        for (qsizetype k = s.first; k <= s.first + s.count; ++k) {
            if (k < s.first + s.count && m_items[k].kind == Kind::Literal)
                continue;
            if (k - runStart > bestLength) {
                bestStart = runStart;
                bestLength = k - runStart;
            }
            runStart = k + 1;
        }
    }
    QVector<char32_t> run;
    run.reserve(bestLength);
    for (qsizetype k = bestStart; k < bestStart + bestLength; ++k)
        run.append(m_items[k].folded);
    return run;
}

qsizetype FindPattern::matchSegmentAt(const Segment &s, QStringView text, qsizetype pos) const
{
    const qsizetype n = text.size();
    const Item *item = m_items.constData() + s.first;
    const Item *end = item + s.count;
    for (; item != end; ++item) {
        if (pos >= n) {
            return -1;
        }
        const char16_t u = text[pos].unicode();
        if (u < 0xD800 || u >= 0xE000) {
            ++pos;
            if (item->kind == Kind::Literal && foldUnitFast(u) != item->folded) {
                return -1;
            }
        } else {
            const char32_t c = CaseFolding::nextCodePoint(text, pos);
            if (item->kind == Kind::Literal && WidthFolding::foldForMatch(c) != item->folded) {
                return -1;
            }
        }
    }
    return pos;
}

qsizetype FindPattern::findSegment(const Segment &s, QStringView text, qsizetype from) const
{
    const qsizetype n = text.size();
    const Item &first = m_items[s.first];
    const char16_t *units = reinterpret_cast<const char16_t *>(text.data());
    if (first.kind == Kind::Literal && first.folded < 0x80) {
        // An ASCII first character: skip on its two cases; only non-ASCII units (the Kelvin
        // sign, the long s) need the fold.
        const char16_t lower = char16_t(first.folded);
        const char16_t upper = (lower >= 'a' && lower <= 'z') ? char16_t(lower - 32) : lower;
        for (qsizetype pos = from; pos < n; ++pos) {
            const char16_t u = units[pos];
            if ((u == lower || u == upper ||
                 (u >= 0x80 && WidthFolding::foldForMatch(u) == lower)) &&
                matchSegmentAt(s, text, pos) >= 0) {
                return pos;
            }
        }
        return -1;
    }
    for (qsizetype pos = from; pos < n;) {
        const char16_t u = units[pos];
        const bool single = u < 0xD800 || u >= 0xE000;
        // Most positions fail on the first character; test it before the full comparison.
        if (!(single && first.kind == Kind::Literal && foldUnitFast(u) != first.folded) &&
            matchSegmentAt(s, text, pos) >= 0) {
            return pos;
        }
        if (single) {
            ++pos;
        } else {
            CaseFolding::nextCodePoint(text, pos);
        }
    }
    return -1;
}

qsizetype FindPattern::findSegmentLast(const Segment &s, QStringView text, qsizetype from) const
{
    qsizetype lastEnd = -1;
    for (qsizetype pos = findSegment(s, text, from); pos >= 0;) {
        lastEnd = matchSegmentAt(s, text, pos);
        qsizetype next = pos;
        CaseFolding::nextCodePoint(text, next);
        pos = findSegment(s, text, next);
    }
    return lastEnd;
}

FindPattern::Match FindPattern::find(QStringView text, qsizetype from) const
{
    const qsizetype n = text.size();
    if (m_segments.isEmpty() || n == 0 || from >= n) {
        return {};
    }
    const Segment &head = m_segments.first();
    const qsizetype last = m_segments.size() - 1;
    const qsizetype start = head.count != 0 ? findSegment(head, text, from) : from;
    if (start < 0) {
        return {};
    }
    const qsizetype headEnd = head.count != 0 ? matchSegmentAt(head, text, start) : start;
    if (last == 0) {
        return Match{start, headEnd - start};
    }
    // Placing each middle piece as early as possible leaves the most room for the rest; a
    // later start could only push them further right, so a failure here is final.
    qsizetype pos = headEnd;
    for (qsizetype k = 1; k < last; ++k) {
        const qsizetype at = findSegment(m_segments[k], text, pos);
        if (at < 0) {
            return {};
        }
        pos = matchSegmentAt(m_segments[k], text, at);
    }
    const Segment &tail = m_segments[last];
    if (tail.count == 0) {
        return Match{start, n - start};
    }
    const qsizetype end = findSegmentLast(tail, text, pos);
    if (end < 0) {
        return {};
    }
    return Match{start, end - start};
}

bool FindPattern::mayMatchUtf8(const char *utf8, qsizetype size) const
{
    if (m_segments.isEmpty() || size <= 0) {
        return false;
    }
    if (m_anchorUtf8.isEmpty()) {
        return true;
    }
    // One pass: the anchor in any ASCII case, or anything by which raw XML may spell it
    // differently (&amp;, &#x41;, _x0041_, CR LF read as LF).
    const auto *d = reinterpret_cast<const unsigned char *>(utf8);
    const auto *n = reinterpret_cast<const unsigned char *>(m_anchorUtf8.constData());
    const qsizetype m = m_anchorUtf8.size();
    bool nonAscii = false;
    for (qsizetype k = 0; k < size; ++k) {
        const unsigned char b = d[k];
        if (b == '&' || b == '\r' || (b == '_' && k + 1 < size && (d[k + 1] | 0x20) == 'x')) {
            return true;
        }
        nonAscii = nonAscii || b >= 0x80;
        const unsigned char first = m_anchorAscii ? asciiLower(b) : b;
        if (first == n[0] && k + m <= size) {
            qsizetype q = 1;
            while (q < m && (m_anchorAscii ? asciiLower(d[k + q]) : d[k + q]) == n[q]) {
                ++q;
            }
            if (q == m) {
                return true;
            }
        }
    }
    if (!m_anchorAscii || !nonAscii) {
        return false;
    }
    // A full-width twin of an anchor character (U+FF01..U+FF5E, three bytes EF BC xx or
    // EF BD xx) or the ideographic space (E3 80 80) for a space keeps the door open too.
    for (qsizetype k = 0; k + 2 < size; ++k) {
        unsigned char twin = 0;
        if (d[k] == 0xEF && (d[k + 1] == 0xBC || d[k + 1] == 0xBD)) {
            twin = asciiLower((d[k + 1] == 0xBC ? 0x20 : 0x60) + (d[k + 2] & 0x3F));
        } else if (d[k] == 0xE3 && d[k + 1] == 0x80 && d[k + 2] == 0x80) {
            twin = ' ';
        }
        if (twin != 0 && twin < 0x80 && (m_anchorLetters[twin >> 6] >> (twin & 63) & 1)) {
            return true;
        }
    }
    // The Kelvin sign folds to "k", the long s to "s": their presence keeps the door open.
    for (const QByteArray &variant : m_asciiVariantsUtf8) {
        if (containsBytes(utf8, size, variant)) {
            return true;
        }
    }
    return false;
}

QVector<FindPattern::Match> FindPattern::replaceMatches(QStringView text) const
{
    QVector<Match> matches;
    const qsizetype n = text.size();
    qsizetype pos = 0;
    while (pos < n) {
        const Match m = find(text, pos);
        if (!m.isValid()) {
            break;
        }
        matches.append(m);
        pos = m.start + m.length;
        if (m.length == 0) {
            CaseFolding::nextCodePoint(text, pos);
        }
    }
    return matches;
}

int FindPattern::replace(QStringView text, QStringView with, QString *out) const
{
    const qsizetype n = text.size();
    if (m_segments.isEmpty() || n == 0) {
        return 0;
    }
    int count = 0;
    QString result;
    qsizetype pos = 0;
    while (pos < n) {
        const Match m = find(text, pos);
        if (!m.isValid()) {
            break;
        }
        if (count == 0) {
            result.reserve(n + with.size());
        }
        result.append(text.mid(pos, m.start - pos));
        result.append(with);
        ++count;
        pos = m.start + m.length;
        if (m.length == 0) {
            qsizetype next = pos;
            CaseFolding::nextCodePoint(text, next);
            result.append(text.mid(pos, next - pos));
            pos = next;
        }
    }
    if (count != 0 && out) {
        result.append(text.mid(pos));
        *out = result;
    }
    return count;
}

} // namespace workbook::text
