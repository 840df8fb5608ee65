#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <vector>

namespace workbook::text
{

// Many search texts looked for in one pass over a text: each pattern is keyed by the longest
// run of literal characters every match of it holds (FindPattern::longestLiteralRun), and the
// keys are found together (Aho-Corasick over folded characters). A pattern whose key occurs
// may match; one whose key never occurs certainly matches nowhere in the texts scanned. A
// pattern without literals (`*`, `??`) always may; an empty one never does.
// Immutable once built and safe to share between threads.
class PatternSet
{
public:
    explicit PatternSet(const QStringList &texts);

    int size() const { return int(m_texts.size()); }
    const QString &text(int pattern) const { return m_texts.at(pattern); }

    // What a series of scans has seen, for the patterns from a given one on.
    class Hits
    {
    public:
        bool contains(int pattern) const { return m_patterns[size_t(pattern)]; }
        // Every pattern looked for has been seen: scanning further tells nothing new.
        bool complete() const { return m_remaining == 0; }

    private:
        friend class PatternSet;
        std::vector<bool> m_patterns;
        std::vector<bool> m_nodes; // key nodes whose patterns are all marked
        int m_remaining = 0;
    };

    // Nothing seen yet of the patterns from `from` on; earlier ones count as seen.
    Hits hits(int from = 0) const;
    void scan(QStringView text, Hits *hits) const;

private:
    struct Edge {
        char32_t c;
        int to;
    };
    struct Node {
        int edgeBegin = 0;
        int edgeCount = 0;
        int fail = 0;
        int report = -1; // the nearest node on the fail chain (itself included) ending keys
        int outputBegin = 0;
        int outputCount = 0;
    };

    int step(int node, char32_t c) const;
    void mark(int node, Hits *hits) const;

    QStringList m_texts;
    std::vector<bool> m_alwaysMay;
    std::vector<bool> m_neverMay;
    std::vector<Node> m_nodes;
    std::vector<Edge> m_edges;   // per node, sorted by character
    std::vector<int> m_outputs;  // per node, the patterns whose key ends there
    std::vector<int> m_rootNext; // the root's edges for the Basic Multilingual Plane; 0 none
};

} // namespace workbook::text

// The rest of the server uses these names unqualified.
namespace workbook
{
using namespace text;
} // namespace workbook
