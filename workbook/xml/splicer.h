#pragma once

#include <QByteArray>
#include <vector>

namespace workbook::xml
{

// Collects replacements of byte ranges in one buffer and applies them in one pass, so that
// every byte outside a replaced range stays exactly as it was.
class Splicer
{
public:
    // Replaces [begin, end) by bytes; an insertion has begin == end. Ranges must not overlap
    // and are applied in offset order whatever order they were added in.
    void replace(qsizetype begin, qsizetype end, const QByteArray &bytes);
    void insert(qsizetype at, const QByteArray &bytes) { replace(at, at, bytes); }

    bool isEmpty() const { return m_edits.empty(); }
    // False (nothing written) when two ranges overlap.
    bool apply(const QByteArray &original, QByteArray *out);

private:
    // The new bytes of every edit live in one buffer: a sheet may take a million edits.
    struct Edit {
        qsizetype begin;
        qsizetype end;
        qsizetype bytesAt;
        qsizetype bytesSize;
    };
    std::vector<Edit> m_edits;
    QByteArray m_bytes;
};

} // namespace workbook::xml
