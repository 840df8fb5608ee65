#include "workbook/text/patternset.h"

#include "workbook/text/casefolding.h"
#include "workbook/text/findpattern.h"
#include "workbook/text/widthfolding.h"

#include <algorithm>
#include <deque>
#include <map>

namespace workbook::text
{

PatternSet::PatternSet(const QStringList &texts)
    : m_texts(texts), m_alwaysMay(size_t(texts.size())), m_neverMay(size_t(texts.size()))
{
    // The trie is built with maps, then laid out flat for the scan.
    std::vector<std::map<char32_t, int>> children(1);
    std::vector<std::vector<int>> ends(1);
    for (int p = 0; p < texts.size(); ++p) {
        const FindPattern pattern(texts.at(p));
        if (pattern.isEmpty()) {
            m_neverMay[size_t(p)] = true;
            continue;
        }
        const QVector<char32_t> key = pattern.longestLiteralRun();
        if (key.isEmpty()) {
            m_alwaysMay[size_t(p)] = true;
            continue;
        }
        int node = 0;
        for (const char32_t c : key) {
            auto it = children[size_t(node)].find(c);
            if (it == children[size_t(node)].end()) {
                const int next = int(children.size());
                children[size_t(node)].emplace(c, next);
                children.emplace_back();
                ends.emplace_back();
                node = next;
            } else {
                node = it->second;
            }
        }
        ends[size_t(node)].push_back(p);
    }

    m_nodes.resize(children.size());
    m_rootNext.assign(0x10000, 0);
    for (size_t n = 0; n < children.size(); ++n) {
        Node &node = m_nodes[n];
        node.edgeBegin = int(m_edges.size());
        node.edgeCount = int(children[n].size());
        for (const auto &[c, to] : children[n]) {
            m_edges.push_back(Edge{c, to});
            if (n == 0 && c < 0x10000)
                m_rootNext[c] = to;
        }
        node.outputBegin = int(m_outputs.size());
        node.outputCount = int(ends[n].size());
        m_outputs.insert(m_outputs.end(), ends[n].begin(), ends[n].end());
    }

    // Fail links breadth first: a node's fail target is shallower, so it is done before it.
    std::deque<int> queue;
    for (int e = 0; e < m_nodes[0].edgeCount; ++e)
        queue.push_back(m_edges[size_t(e)].to);
    while (!queue.empty()) {
        const int u = queue.front();
        queue.pop_front();
        Node &node = m_nodes[size_t(u)];
        const int fail = node.fail;
        node.report = node.outputCount > 0 ? u : m_nodes[size_t(fail)].report;
        for (int e = node.edgeBegin; e < node.edgeBegin + node.edgeCount; ++e) {
            const Edge edge = m_edges[size_t(e)];
            int f = fail;
            int target = step(f, edge.c);
            while (target == 0 && f != 0) {
                f = m_nodes[size_t(f)].fail;
                target = step(f, edge.c);
            }
            m_nodes[size_t(edge.to)].fail = target;
            queue.push_back(edge.to);
        }
    }
}

int PatternSet::step(int node, char32_t c) const
{
    if (node == 0 && c < 0x10000)
        return m_rootNext[c];
    const Node &n = m_nodes[size_t(node)];
    const Edge *begin = m_edges.data() + n.edgeBegin;
    const Edge *end = begin + n.edgeCount;
    const Edge *it =
        std::lower_bound(begin, end, c, [](const Edge &e, char32_t v) { return e.c < v; });
    return it != end && it->c == c ? it->to : 0;
}

PatternSet::Hits PatternSet::hits(int from) const
{
    Hits h;
    h.m_patterns.assign(m_texts.size(), false);
    h.m_nodes.assign(m_nodes.size(), false);
    for (int p = 0; p < m_texts.size(); ++p) {
        if (p < from || m_alwaysMay[size_t(p)] || m_neverMay[size_t(p)]) {
            // A pattern that never matches is never reported, but there is nothing to
            // look for either.
            h.m_patterns[size_t(p)] = !m_neverMay[size_t(p)] || p < from;
            continue;
        }
        ++h.m_remaining;
    }
    return h;
}

void PatternSet::mark(int node, Hits *hits) const
{
    for (int n = m_nodes[size_t(node)].report; n > 0 && !hits->m_nodes[size_t(n)];
         n = m_nodes[size_t(m_nodes[size_t(n)].fail)].report) {
        hits->m_nodes[size_t(n)] = true;
        const Node &r = m_nodes[size_t(n)];
        for (int o = r.outputBegin; o < r.outputBegin + r.outputCount; ++o) {
            const size_t p = size_t(m_outputs[size_t(o)]);
            if (!hits->m_patterns[p]) {
                hits->m_patterns[p] = true;
                --hits->m_remaining;
            }
        }
    }
}

void PatternSet::scan(QStringView text, Hits *hits) const
{
    if (m_nodes.size() <= 1)
        return;
    const qsizetype n = text.size();
    int state = 0;
    for (qsizetype i = 0; i < n;) {
        const char16_t u = text[i].unicode();
        char32_t c;
        if (u < 0x80) {
            c = (u >= 'A' && u <= 'Z') ? char32_t(u + 32) : char32_t(u);
            ++i;
        } else if (u < 0xD800 || u >= 0xE000) {
            c = WidthFolding::foldForMatch(u);
            ++i;
        } else {
            c = WidthFolding::foldForMatch(CaseFolding::nextCodePoint(text, i));
        }
        int next = step(state, c);
        while (next == 0 && state != 0) {
            state = m_nodes[size_t(state)].fail;
            next = step(state, c);
        }
        state = next;
        if (state != 0 && m_nodes[size_t(state)].report > 0 &&
            !hits->m_nodes[size_t(m_nodes[size_t(state)].report)])
            mark(state, hits);
    }
}

} // namespace workbook::text
