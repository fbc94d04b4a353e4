#include "output/listediting.h"

#include "core/keywordlistmodel.h"

void removeEmptyItems(KeywordListModel &list)
{
    list.removeIf([](const QString &item) { return item.isEmpty(); });
}
