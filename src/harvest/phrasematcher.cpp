#include "harvest/phrasematcher.h"

#include <algorithm>
#include <limits>

PhraseMatcher::PhraseMatcher(const QList<QStringView> &phrases)
    : m_fromRoot(std::numeric_limits<char16_t>::max() + 1, 0)
{
    // The phrases' trie first, its edges unsorted per node.
    std::vector<std::vector<Edge>> edges(1);
    std::vector<bool> ends(1, false);
    for (QStringView phrase : phrases) {
        if (phrase.isEmpty())
            continue;
        qint32 node = 0;
        for (QChar c : phrase) {
            auto &out = edges[size_t(node)];
            const auto edge = std::ranges::find(out, c.unicode(), &Edge::unit);
            if (edge != out.end()) {
                node = edge->to;
                continue;
            }
            const auto created = qint32(edges.size());
            out.push_back({c.unicode(), created});
            edges.emplace_back();
            ends.push_back(false);
            node = created;
        }
        ends[size_t(node)] = true;
    }

    m_nodes.resize(edges.size());
    for (size_t i = 0; i < edges.size(); ++i) {
        std::ranges::sort(edges[i], {}, &Edge::unit);
        m_nodes[i].firstEdge = qint32(m_edges.size());
        m_nodes[i].edgeCount = qint32(edges[i].size());
        m_nodes[i].endsPhrase = ends[i];
        m_edges.insert(m_edges.end(), edges[i].begin(), edges[i].end());
    }
    for (const Edge &edge : edges[0])
        m_fromRoot[edge.unit] = edge.to;

    // Fallbacks breadth first, so a node's fallback is done before its children need it.
    std::vector<qint32> queue;
    for (const Edge &edge : edges[0])
        queue.push_back(edge.to);
    for (size_t head = 0; head < queue.size(); ++head) {
        const Node &node = m_nodes[size_t(queue[head])];
        for (qint32 e = node.firstEdge; e < node.firstEdge + node.edgeCount; ++e) {
            const Edge edge = m_edges[size_t(e)];
            qint32 fallback = node.fallback;
            qint32 target = next(fallback, edge.unit);
            while (target < 0 && fallback != 0) {
                fallback = m_nodes[size_t(fallback)].fallback;
                target = next(fallback, edge.unit);
            }
            Node &child = m_nodes[size_t(edge.to)];
            child.fallback = std::max(target, 0);
            child.endsPhrase = child.endsPhrase || m_nodes[size_t(child.fallback)].endsPhrase;
            queue.push_back(edge.to);
        }
    }
}

qint32 PhraseMatcher::next(qint32 node, char16_t unit) const
{
    if (node == 0)
        return m_fromRoot[unit] ? m_fromRoot[unit] : -1;
    const Node &from = m_nodes[size_t(node)];
    const auto begin = m_edges.begin() + from.firstEdge;
    const auto end = begin + from.edgeCount;
    const auto edge = std::ranges::lower_bound(begin, end, unit, {}, &Edge::unit);
    return edge != end && edge->unit == unit ? edge->to : -1;
}

bool PhraseMatcher::containedIn(QStringView text) const
{
    qint32 node = 0;
    for (QChar c : text) {
        const char16_t unit = c.unicode();
        qint32 target = next(node, unit);
        while (target < 0 && node != 0) {
            node = m_nodes[size_t(node)].fallback;
            target = next(node, unit);
        }
        node = std::max(target, 0);
        if (m_nodes[size_t(node)].endsPhrase)
            return true;
    }
    return false;
}
