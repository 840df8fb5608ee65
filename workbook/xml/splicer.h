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

    // Bounds the result's size. The new bytes are part of the result, so collecting them
    // stops (tooLarge()) as soon as they alone pass the limit.
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
    // because a QByteArray's size does.
    struct Edit {
        quint32 begin;
        quint32 end;
        quint32 bytesSize;
    };
    QByteArray m_original;
    std::vector<Edit> m_edits;
    QByteArray m_bytes;
    qsizetype m_limit = std::numeric_limits<int>::max();
    bool m_replaced = false;
    bool m_tooLarge = false;
    bool m_invalid = false;
};

} // namespace workbook::xml
