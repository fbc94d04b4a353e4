#include "harvest/harvestpass.h"

#include "core/keywordlistmodel.h"
#include "harvest/cardtext.h"
#include "harvest/navfilters.h"

#include <algorithm>

namespace {

bool isOneSpace(QStringView item)
{
    return item.size() == 1 && item.front() == u' ';
}

// An icon's text or a rank: what only holds a keyword's place.
bool holdsPlace(QStringView text)
{
    return std::ranges::all_of(text.trimmed(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

PhraseMatcher filterTable(const QStringList &ownPhrases)
{
    QList<QStringView> phrases(NavFilters.begin(), NavFilters.end());
    phrases.append(QList<QStringView>(ownPhrases.begin(), ownPhrases.end()));
    return PhraseMatcher(phrases);
}

void removeEmptyHead(KeywordListModel &list)
{
    const QStringList &items = list.items();
    const auto firstNonEmpty
        = std::find_if(items.cbegin(), items.cend(), [](const QString &s) { return !s.isEmpty(); });
    const qsizetype run = firstNonEmpty - items.cbegin();
    if (run > 0)
        list.removeRange(0, run);
}

} // namespace

HarvestPass::HarvestPass(KeywordListModel &list, QObject *parent)
    : QObject(parent)
    , m_list(list)
    , m_filters(filterTable({}))
{
    // Keep track of how much of the list is known to be swept while others remove items.
    connect(&m_list, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                if (first < m_swept)
                    m_swept -= std::min<qsizetype>(m_swept, qsizetype(last) + 1) - first;
            });
    connect(&m_list, &QAbstractItemModel::modelReset, this, [this] { m_swept = 0; });
}

void HarvestPass::setOwnPhrases(const QStringList &phrases)
{
    m_filters = filterTable(phrases);
    m_swept = 0; // the list is swept again with them
}

bool HarvestPass::filtered(QStringView item) const
{
    return isOneSpace(item) || m_filters.containedIn(item);
}

void HarvestPass::sweepUnchecked()
{
    if (m_swept < m_list.count())
        m_list.removeIf([this](const QString &item) { return filtered(item); }, m_swept);
    removeEmptyHead(m_list);
    m_swept = m_list.count();
}

QStringList HarvestPass::run(const PageLinks &links)
{
    if (links.isEmpty())
        return {}; // no link, no sweep

    sweepUnchecked();

    // The list is swept now, so each link can only add its own text: decide that text's
    // fate at once and append the survivors together (the pass runs to its end without
    // processing events, so nobody sees the list in between).
    QStringList survivors;
    const bool listEmpty = m_list.count() == 0;
    QString lastAppendedAddress;
    bool placeHeld = false; // the last appended text only holds the place of its run's keyword
    bool placeSurvived = false; // and it is the last survivor
    for (const PageLink &link : links) {
        const QString text = keywordOf(link);
        // An entry of no link at all (a rule's element opened by script) pairs with nothing.
        if (!link.address.isEmpty() && link.address == lastAppendedAddress) {
            if (!placeHeld || holdsPlace(text))
                continue;
            // The keyword takes its place.
            if (placeSurvived)
                survivors.removeLast();
            placeHeld = false;
        } else {
            lastAppendedAddress = link.address;
            placeHeld = holdsPlace(text);
        }
        placeSurvived = false;
        if (filtered(text))
            continue;
        // An empty text that would stand first in the list goes at once.
        if (text.isEmpty() && listEmpty && survivors.isEmpty())
            continue;
        survivors.append(text);
        placeSurvived = placeHeld;
    }
    m_list.append(survivors);
    m_swept = m_list.count();
    return survivors;
}
