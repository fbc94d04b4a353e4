#include "listediting.h"

#include "keywordlistmodel.h"

void removeEmptyItems(KeywordListModel &list)
{
    list.removeIf([](const QString &item) { return item.isEmpty(); });
}
