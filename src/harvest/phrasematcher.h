#pragma once

#include <QList>
#include <QStringView>

#include <vector>

// Whether a text contains one of a set of phrases, compared code unit by code unit
// (case-sensitive, no normalisation). One walk over the text answers for every phrase at once
// (an Aho-Corasick automaton over UTF-16 code units), so ten thousand phrases of a user's own
// cost a harvest no more than the built-in table does.
class PhraseMatcher
{
public:
    // Empty phrases are left out: they would match every text.
    explicit PhraseMatcher(const QList<QStringView> &phrases);

    bool containedIn(QStringView text) const;

private:
    struct Node
    {
        qint32 firstEdge = 0; // its edges are m_edges[firstEdge, firstEdge + edgeCount)
        qint32 edgeCount = 0;
        qint32 fallback = 0; // the longest proper suffix of its path that is a path too
        bool endsPhrase = false; // a phrase ends here or at one of its fallbacks
    };
    struct Edge
    {
        char16_t unit;
        qint32 to;
    };

    qint32 next(qint32 node, char16_t unit) const; // -1 where there is no edge

    std::vector<Node> m_nodes; // the root first
    std::vector<Edge> m_edges; // per node, sorted by unit
    // Most steps fall back to the root, so its edges are looked up directly (0: none).
    std::vector<qint32> m_fromRoot;
};
