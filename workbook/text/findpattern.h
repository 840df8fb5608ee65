#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QVector>

namespace workbook::text
{

// A Find/Replace search text compiled once and matched against many cell texts, with the
// defaults a user of Excel's Find and Replace expects: part of the content, case and width
// ignored (WidthFolding::foldForMatch), `?` one character (a surrogate pair is one), `*` any run
// (greedy: the longest match at the leftmost start), `~*` `~?` `~~` the characters themselves, any
// other `~` itself. An empty search text matches nothing.
//
// Works on UTF-16 (QStringView); positions and lengths are UTF-16 code units. mayMatchUtf8()
// is a cheap pre-test on UTF-8 so a caller can skip converting texts that cannot match.
// A compiled pattern is immutable and safe to share between threads.
class FindPattern
{
public:
    struct Match {
        qsizetype start = -1;
        qsizetype length = 0;
        bool isValid() const { return start >= 0; }
    };

    FindPattern() = default;
    explicit FindPattern(QStringView what);
    // The same, remembered per thread for the last text: a run searches every sheet of every
    // workbook for one text, and compiling it costs about as much as a small sheet.
    static FindPattern compiled(const QString &what);

    bool isEmpty() const { return m_segments.isEmpty(); }

    // The longest run of literal characters, folded, that every match holds in one piece
    // (empty when the pattern has none): a sound key for searching many patterns at once.
    QVector<char32_t> longestLiteralRun() const;

    // The leftmost (then longest) match starting at or after `from`; invalid when none.
    Match find(QStringView text, qsizetype from = 0) const;
    bool matches(QStringView text) const { return find(text).isValid(); }

    // False only when the text certainly holds no match; true means "run matches()".
    // `utf8` may be decoded text or the raw character data of an XML element: an entity
    // reference, an _xHHHH_ escape or a carriage return in it only turns the answer into
    // "maybe", so the raw bytes of a shared string can be tested before decoding them.
    bool mayMatchUtf8(const char *utf8, qsizetype size) const;

    // Replaces every match left to right, never overlapping, replaced text not searched
    // again; an empty match moves on by one character. The replacement is inserted as typed.
    // Returns the number of replacements; `out` is only written when that is not zero.
    int replace(QStringView text, QStringView with, QString *out) const;

    // Exactly the matches replace() replaces, in order (an empty match has length 0), for
    // callers that rebuild formatted text around them.
    QVector<Match> replaceMatches(QStringView text) const;

private:
    // One character of a piece between stars: a literal (folded) or `?`.
    enum class Kind : unsigned char { Literal, AnyOne };
    struct Item {
        Kind kind;
        char32_t folded; // for Literal
    };
    struct Segment {
        qsizetype first = 0; // into m_items
        qsizetype count = 0;
    };

    qsizetype matchSegmentAt(const Segment &s, QStringView text, qsizetype pos) const;
    qsizetype findSegment(const Segment &s, QStringView text, qsizetype from) const;
    qsizetype findSegmentLast(const Segment &s, QStringView text, qsizetype from) const;

    QVector<Item> m_items;
    // Fixed-length pieces between the stars, in order; a pattern that starts (ends) with `*`
    // has an empty first (last) segment.
    QVector<Segment> m_segments;
    // The longest run of literals, folded, as a quick necessary condition.
    QByteArray m_anchorUtf8; // set when the anchor can be searched byte for byte
    bool m_anchorAscii = false;
    quint64 m_anchorLetters[2] = {0, 0};     // the ASCII anchor's characters, folded, as a set
    QVector<QByteArray> m_asciiVariantsUtf8; // non-ASCII letters folding into the anchor
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
