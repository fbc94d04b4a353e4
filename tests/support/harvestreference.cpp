#include "support/harvestreference.h"

#include "core/keywordlistmodel.h"
#include "harvest/cardtext.h"
#include "harvest/navfilters.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

bool harvestBySweeps(const std::optional<PageLinks> &links, KeywordListModel &list,
                     const QStringList &ownPhrases)
{
    if (!links)
        return false;
    QStringList filters = ownPhrases;
    for (QStringView filter : NavFilters)
        filters.append(filter.toString());
    const auto drop = [&](const QString &s) {
        return s == u" "
            || std::ranges::any_of(filters, [&](const QString &f) { return s.contains(f); });
    };
    const QRegularExpression placeHolding(u"^\\s*[0-9]*\\s*$"_s); // an icon's text or a rank
    QString lastAppendedAddress;
    std::optional<QString> placeHolder; // the run's text so far, when it holds the place
    for (const PageLink &link : *links) {
        const QString text = keywordOf(link);
        const bool sameAddress = !link.address.isEmpty() && link.address == lastAppendedAddress;
        const bool holdsPlace = placeHolding.match(text).hasMatch();
        if (!sameAddress || (placeHolder && !holdsPlace)) {
            // The place holder is the last item unless a sweep took it, which it does when
            // it is filtered, or when it is an empty head and so the list is empty now.
            if (sameAddress && !drop(*placeHolder) && list.count() > 0)
                list.removeAt(list.count() - 1);
            placeHolder = !sameAddress && holdsPlace ? std::optional(text) : std::nullopt;
            list.append(text);
            lastAppendedAddress = link.address;
        }
        // The whole list afresh, so an item moving up is examined too.
        list.removeIf(drop);
        while (list.count() > 0 && list.itemAt(0).isEmpty())
            list.removeAt(0);
    }
    return true;
}
