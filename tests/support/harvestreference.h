#pragma once

#include "harvest/pagelinks.h"

#include <QStringList>

#include <optional>

class KeywordListModel;

// The straightforward form of the harvest pass: the whole list swept after every link (filter
// texts, the table's and `ownPhrases`, then one-space items, then an empty head). The fast
// pass is checked against it, and the benchmark compares the two.
bool harvestBySweeps(const std::optional<PageLinks> &links, KeywordListModel &list,
                     const QStringList &ownPhrases = {});
