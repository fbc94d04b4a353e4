#include "support/harvestreference.h"

#include "core/keywordlistmodel.h"
#include "harvest/navfilters.h"

#include <algorithm>
#include <bitset>

bool harvestBySweeps(const std::optional<PageLinks> &links, KeywordListModel &list,
                     const QStringList &ownPhrases)
{
    if (!links)
        return false;
    QStringList filters = ownPhrases;
    for (QStringView filter : NavFilters)
        filters.append(filter.toString());
    filters.removeAll(QString());
    // Only where a filter's first unit is does a filter need a look (or the benchmark's long
    // lists would take hours).
    std::bitset<65536> starts;
    for (const QString &filter : filters)
        starts.set(filter.front().unicode());
    const auto drop = [&](const QString &s) {
        for (qsizetype i = 0; i < s.size(); ++i) {
            if (starts.test(s[i].unicode()) && std::ranges::any_of(filters, [&](const QString &f) {
                    return QStringView(s).sliced(i).startsWith(f);
                }))
                return true;
        }
        return s == u" ";
    };
    const auto holdsPlace = [](const QString &text) {
        return std::ranges::all_of(text.trimmed(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    QString lastAppendedAddress;
    bool placeHeld = false; // the run's text so far is an icon's or a rank
    qsizetype place = -1; // where that text stands, -1 once swept away
    for (const PageLink &link : *links) {
        if (link.address != lastAppendedAddress || (placeHeld && !holdsPlace(link.text))) {
            if (link.address == lastAppendedAddress && place >= 0)
                list.removeAt(place); // the last item: the keyword goes where it stood
            placeHeld = link.address != lastAppendedAddress && holdsPlace(link.text);
            list.append(link.text);
            place = list.count() - 1;
            lastAppendedAddress = link.address;
        }
        // The whole list afresh, so an item moving up is examined too.
        for (qsizetype i = list.count() - 1; i >= 0; --i) {
            if (drop(list.itemAt(i))) {
                list.removeAt(i);
                place = i < place ? place - 1 : i == place ? -1 : place;
            }
        }
        while (list.count() > 0 && list.itemAt(0).isEmpty()) {
            list.removeAt(0);
            place = place > 0 ? place - 1 : -1;
        }
    }
    return true;
}
