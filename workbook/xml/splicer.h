#pragma once

#include <QByteArray>
#include <limits>
#include <vector>

namespace workbook::xml
{

// Collects replacements of byte ranges in one buffer and applies them in one pass, so that
// every byte outside a replaced range stays exactly as it was.
class Splicer
{
public:
    Splicer() = default;
    // With the bytes the edits will apply to: each edit then keeps only what differs from the
    // range it replaces, so a sheet of many small changes holds little beside its bytes.
    explicit Splicer(const QByteArray &original) : m_original(original) {}

    // Replaces [begin, end) by bytes; an insertion has begin == end. Ranges must not overlap
    // and are applied in offset order whatever order they were added in.
    void replace(qsizetype begin, qsizetype end, const QByteArray &bytes);
    void insert(qsizetype at, const QByteArray &bytes) { replace(at, at, bytes); }

    // Whether nothing was replaced; an edit that changes nothing counts.
    bool isEmpty() const { return !m_replaced; }
    // False (nothing written) when two ranges overlap, or the result would not fit a
    // QByteArray, the limit, or the size a part may have (limits::kMaxPartSize: the package
    // could not be read back). An original given at construction must be the one applied to.
    bool apply(const QByteArray &original, QByteArray *out);
    // As apply, but the result replaces *bytes (the original) in its own memory, grown or
    // shrunk where it ends: a large part is not held twice. The original given at
    // construction is released first; *bytes should hold its data alone, or it is copied.
    // On false *bytes is as it was.
    bool applyInPlace(QByteArray *bytes);

    // Bounds the result's size. Collecting edits stops (tooLarge()) as soon as the new bytes
    // alone pass the limit or, with the original given at construction, as soon as the result
    // the edits so far would make does: a part whose every match grows is refused before
    // its growth is held.
    void setLimit(qsizetype maxBytes) { m_limit = qMin(maxBytes, m_limit); }
    bool tooLarge() const { return m_tooLarge; }

    // For tests of the paths that follow a failed splice, which no input reaches: while one
    // lives, apply() on its thread fails for every original that contains marker.
    class FaultForTesting
    {
    public:
        explicit FaultForTesting(const QByteArray &marker);
        ~FaultForTesting();
        FaultForTesting(const FaultForTesting &) = delete;
        FaultForTesting &operator=(const FaultForTesting &) = delete;

    private:
        QByteArray m_marker;
        const QByteArray *m_previous;
    };

private:
    // The new bytes of every edit live in one buffer, in the order the edits were added: a
    // sheet may take ten million edits, so an edit is kept small. Every offset fits 32 bits
    // because a QByteArray's size does. An edit whose bytes equal those of the last edit that
    // stored any (one replacement text, cell after cell) stores none and is marked kRepeat.
    struct Edit {
        quint32 begin;
        quint32 end;
        quint32 bytesSize;
    };
    static constexpr quint32 kRepeat = quint32(1) << 31;
    // The edits in offset order, with where each one's bytes are.
    struct Plan {
        bool inOrder = true;
        std::vector<quint32> order;
        std::vector<quint32> bytesAt;
        qsizetype size = 0; // of the result
        qsizetype running = 0;
        qsizetype last = 0;
        const Edit &nth(const std::vector<Edit> &edits, size_t k) const
        {
            return inOrder ? edits[k] : edits[order[k]];
        }
        // Where the bytes of the k-th edit in offset order are; in order, asked for each k
        // from the first, once.
        qsizetype bytesOf(const std::vector<Edit> &edits, size_t k);
    };
    // False when the edits cannot be applied to original (see apply).
    bool prepare(const QByteArray &original, Plan *out);

    QByteArray m_original;
    std::vector<Edit> m_edits;
    QByteArray m_bytes;
    qsizetype m_lastBytesAt = -1;
    // The size of the result of the edits so far, with the original given at construction.
    qsizetype m_projected = -1;
    qsizetype m_limit = std::numeric_limits<int>::max();
    bool m_replaced = false;
    bool m_tooLarge = false;
    bool m_invalid = false;
};

} // namespace workbook::xml
