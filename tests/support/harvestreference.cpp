#include "support/harvestreference.h"

#include "core/keywordlistmodel.h"
#include "harvest/navfilters.h"

bool harvestBySweeps(const std::optional<PageLinks> &links, KeywordListModel &list)
{
    if (!links)
        return false;
    QString lastAppendedAddress;
    for (const PageLink &link : *links) {
        if (link.address != lastAppendedAddress) {
            list.append(link.text);
            lastAppendedAddress = link.address;
        }
        // The whole list afresh, so an item moving up is examined too.
        list.removeIf([](const QString &s) { return containsNavFilter(s) || s == u" "; });
        while (list.count() > 0 && list.itemAt(0).isEmpty())
            list.removeAt(0);
    }
    return true;
}
