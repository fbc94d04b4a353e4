#include "harvest/hotlists.h"

#include "harvest/cardtext.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace {

// A tab bar or a side box of hot topics can be as short as this; fewer side by side are no
// list of anything.
constexpr qsizetype MinEntries = 5;
// 查看更多>, 选座购票 and an author's name repeat; titles hardly ever do.
constexpr double MinDistinct = 0.8;
// Labels (首页, 关于我们, 电视剧) are shorter than titles at the median; films' titles and
// people's names can be nearly as short, but then their cards vouch for them.
constexpr int TitleLength = 6;
constexpr int CardTitleLength = 3;
constexpr double MinVouched = 0.5;
// An action link reads the same in (nearly) every entry, in a few words: 选座购票, 查看完整榜单.
constexpr double MinUniform = 0.8;
constexpr int ActionLength = 6;
// Deeper than any page is built: a layout that cycles ends here.
constexpr int MaxDepth = 512;

// The number `key` has, or the next one.
template<typename Key>
int interned(QHash<Key, int> &numbers, const Key &key, int first = 0)
{
    auto found = numbers.find(key);
    if (found == numbers.end())
        found = numbers.insert(key, int(numbers.size()) + first);
    return *found;
}

quint64 pairKey(int high, int low)
{
    return (quint64(quint32(high)) << 32) | quint32(low);
}

bool isCjk(QChar c)
{
    switch (c.script()) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
    case QChar::Script_Bopomofo:
        return true;
    default:
        return false;
    }
}

QString withoutDigits(const QString &text)
{
    QString kept;
    for (const QChar c : text) {
        if (!c.isDigit())
            kept.append(c);
    }
    return kept.trimmed();
}

// A rank, a badge, a figure, a date or a time beside a title: what a card holds and a menu
// does not.
bool isFigure(const QString &piece)
{
    return holdsPlaceInCard(piece)
        || std::ranges::any_of(piece, [](QChar c) { return c.isDigit(); });
}

struct Group
{
    int container = -1;
    QList<int> members; // links, in document order
    QList<int> entries; // each member's entry
    QStringList keywords;
    bool uniform = false;
    int medianLength = 0;
    bool passes = false;
};

class Finder
{
public:
    Finder(const PageLinks &links, const LinkLayout &layout)
        : m_links(links)
        , m_layout(layout)
    {
    }

    PageLinks run();

private:
    void readShapes();
    void formGroups();
    void judge(Group &group);
    bool vouched(const Group &group, qsizetype member) const;
    bool inside(int link, int node) const;

    const PageLinks &m_links;
    const LinkLayout &m_layout;
    QList<int> m_tagOf; // kind → token of its tag alone
    QList<int> m_shapeOf; // kind → token of its tag and first class
    // Link k's nodes from it up to the root's child are m_chains[m_chainStart[k]] on, and the
    // group keys of those levels m_keys[m_chainStart[k]] on.
    QList<int> m_chains;
    QList<quint64> m_keys;
    QList<qsizetype> m_chainStart;
    QList<Group> m_groups;
    QSet<int> m_actionLinks; // of groups that read the same in every entry
};

void Finder::readShapes()
{
    QHash<QString, int> tokens;
    const auto token = [&](const QString &name) { return interned(tokens, name); };
    for (const QString &name : m_layout.kindNames) {
        m_tagOf.append(token(name.section(u' ', 0, 0)));
        m_shapeOf.append(token(name.section(u' ', 0, 1)));
    }
}

void Finder::formGroups()
{
    // A path is interned as the path below it and one more element's token.
    QHash<quint64, int> paths;
    const auto path
        = [&](int below, int token) { return interned(paths, pairKey(below, token), 1); };
    struct Count
    {
        qsizetype entries = 0;
        int lastEntry = -1;
    };
    QHash<quint64, Count> counts;
    m_chainStart.reserve(m_links.size() + 1);
    m_chains.reserve(m_links.size() * 4);
    m_keys.reserve(m_links.size() * 4);
    const qsizetype nodes = m_layout.parents.size();
    for (qsizetype link = 0; link < m_links.size(); ++link) {
        m_chainStart.append(m_chains.size());
        int below = 0; // the empty path
        for (int node = int(link), depth = 0; depth < MaxDepth; ++depth) {
            const int parent = m_layout.parents.at(node);
            if (parent < 0 || parent >= nodes)
                break;
            const int kind = m_layout.kinds.at(node);
            const quint64 key = pairKey(parent, path(below, -1 - m_tagOf.value(kind)));
            // The links under one entry follow one another in document order.
            Count &count = counts[key];
            if (count.lastEntry != node)
                ++count.entries, count.lastEntry = node;
            m_keys.append(key);
            m_chains.append(node);
            below = path(below, m_shapeOf.value(kind));
            node = parent;
        }
    }
    m_chainStart.append(m_chains.size());
    QHash<quint64, int> groupOf;
    for (qsizetype link = 0; link < m_links.size(); ++link) {
        qsizetype level = m_chainStart.at(link);
        while (level < m_chainStart.at(link + 1)
               && counts.value(m_keys.at(level)).entries < MinEntries)
            ++level;
        if (level == m_chainStart.at(link + 1))
            continue;
        const quint64 key = m_keys.at(level);
        const int number = interned(groupOf, key);
        if (number == m_groups.size()) {
            Group fresh;
            fresh.container = int(key >> 32);
            m_groups.append(fresh);
        }
        Group &group = m_groups[number];
        group.members.append(int(link));
        group.entries.append(m_chains.at(level));
    }
}

bool Finder::inside(int link, int node) const
{
    const auto chain = m_chains.cbegin();
    return std::find(chain + m_chainStart.at(link), chain + m_chainStart.at(link + 1), node)
        != chain + m_chainStart.at(link + 1);
}

// Beside the link in its entry: a rank, a figure or a date, a picture's or a rank's link to the
// same address, or an action link elsewhere that reads the same in every entry but for its
// count.
bool Finder::vouched(const Group &group, qsizetype member) const
{
    const int link = group.members.at(member);
    const int entry = group.entries.at(member);
    const QString &address = m_links.at(link).address;
    // A poster, a cover or a rank links where the title does; a section's 更多 does too, but
    // reads as a word.
    for (const int step : {-1, 1}) {
        for (int other = link + step; other >= 0 && other < m_links.size() && inside(other, entry);
             other += step) {
            const bool same = m_links.at(other).address == address;
            if ((same && holdsPlaceInCard(keywordOf(m_links.at(other))))
                || (!same && m_actionLinks.contains(other)))
                return true;
        }
    }
    // The elements above the link, up to its entry.
    for (qsizetype level = m_chainStart.at(link);
         level < m_chainStart.at(link + 1) && m_chains.at(level) != entry;) {
        const auto found = m_layout.pieces.constFind(m_chains.at(++level));
        if (found != m_layout.pieces.cend() && std::ranges::any_of(*found, isFigure))
            return true;
    }
    const PageLink &own = m_links.at(link);
    if (own.segments.isEmpty() && keywordOf(own) == own.text)
        return false; // a text of one piece
    const QStringList pieces = cardPieces(own.text, own.segments);
    return pieces.size() > 1 && std::ranges::any_of(pieces, holdsPlaceInCard);
}

void Finder::judge(Group &group)
{
    if (group.uniform)
        return;
    qsizetype entries = 0;
    for (qsizetype m = 0; m < group.entries.size(); ++m)
        entries += m == 0 || group.entries.at(m) != group.entries.at(m - 1);
    if (entries < MinEntries)
        return;
    QList<int> lengths;
    QHash<QString, qsizetype> seen;
    for (const QString &keyword : group.keywords) {
        lengths.append(readingLength(keyword));
        if (!keyword.isEmpty())
            ++seen[keyword];
    }
    const double members = double(group.members.size());
    if (double(seen.size()) < MinDistinct * members)
        return;
    const auto middle = lengths.begin() + lengths.size() / 2;
    std::ranges::nth_element(lengths, middle);
    group.medianLength = *middle;
    if (group.medianLength >= TitleLength) {
        group.passes = true;
        return;
    }
    if (group.medianLength < CardTitleLength)
        return;
    qsizetype vouchedEntries = 0;
    for (qsizetype m = 0; m < group.members.size(); ++m) {
        if ((m == 0 || group.entries.at(m) != group.entries.at(m - 1)) && vouched(group, m))
            ++vouchedEntries;
    }
    group.passes = double(vouchedEntries) >= MinVouched * double(entries);
}

PageLinks Finder::run()
{
    const qsizetype nodes = m_layout.parents.size();
    if (m_layout.kinds.size() != nodes || nodes < m_links.size()
        || std::ranges::any_of(m_layout.kinds, [&](int kind) {
               return kind < 0 || kind >= m_layout.kindNames.size();
           }))
        return {};
    readShapes();
    formGroups();
    for (Group &group : m_groups) {
        for (const int link : group.members)
            group.keywords.append(keywordOf(m_links.at(link)));
        // 想看 1234, 转发 56: an action link with its count reads the same without it.
        QHash<QString, qsizetype> counts;
        for (const QString &keyword : group.keywords)
            ++counts[withoutDigits(keyword)];
        const auto most = std::max_element(counts.cbegin(), counts.cend());
        // Titles that differ by their numbers alone (第2集) are longer than an action's word.
        group.uniform = !most.key().isEmpty() && readingLength(most.key()) <= ActionLength
            && double(most.value()) >= MinUniform * double(group.members.size());
        if (group.uniform) {
            for (const int link : group.members)
                m_actionLinks.insert(link);
        }
    }
    for (Group &group : m_groups)
        judge(group);

    // A list's container and everything above it hold a list.
    QList<bool> holdsList(nodes);
    for (const Group &group : std::as_const(m_groups)) {
        for (int node = group.container, depth = 0;
             group.passes && node >= 0 && !holdsList[node] && depth < MaxDepth;
             node = m_layout.parents.at(node), ++depth)
            holdsList[node] = true;
    }
    QList<const Group *> candidates;
    for (const Group &group : std::as_const(m_groups)) {
        const auto sections
            = std::ranges::count_if(group.entries, [&](int e) { return holdsList[e]; });
        if (group.passes && double(sections) < 0.5 * double(group.entries.size()))
            candidates.append(&group);
    }
    // The longest keywords first; among equals, the first in the document.
    std::ranges::stable_sort(candidates, [](const Group *a, const Group *b) {
        return a->medianLength > b->medianLength;
    });
    QSet<quint64> taken;
    QList<int> kept;
    for (const Group *group : std::as_const(candidates)) {
        if (std::ranges::any_of(group->entries, [&](int entry) {
                return taken.contains(pairKey(group->container, entry));
            }))
            continue;
        for (const int entry : group->entries)
            taken.insert(pairKey(group->container, entry));
        kept.append(group->members);
    }
    std::ranges::sort(kept);
    PageLinks listed;
    listed.reserve(kept.size());
    for (const int link : std::as_const(kept))
        listed.append(m_links.at(link));
    return listed;
}

} // namespace

PageLinks hotListLinks(const PageLinks &links, const LinkLayout &layout)
{
    return Finder(links, layout).run();
}

int readingLength(QStringView text)
{
    int length = 0;
    bool inWord = false;
    for (const QChar c : text) {
        if (isCjk(c)) {
            ++length;
            inWord = false;
        } else if (c.isLetterOrNumber()) {
            length += !inWord;
            inWord = true;
        } else {
            inWord = false;
        }
    }
    return length;
}
