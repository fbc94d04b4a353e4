#pragma once

#include "harvest/pagelinks.h"

#include <QObject>

#include <optional>

class KeywordListModel;

// Removes every item that contains a NavFilters text. Each position is examined again after
// a removal, so an item that moves up into a removed item's place is never passed over.
void FilterSweep(KeywordListModel &list);
// Removes every item that is exactly one space, then any empty items at the head of the list.
// Items of several spaces and empty items behind a non-empty first item stay.
void BlankSweep(KeywordListModel &list);

// The harvest pass: appends the text of each link to the keyword list, skipping a link whose
// address equals that of the link appended just before it, and sweeps after every link so
// that the list never holds a filtered text, a one-space item or an empty first item.
//
// Because every pass leaves the list swept, a link can only add one unswept item, so the
// pass looks at what each link changed rather than at the whole list: its cost follows the
// page's links, not the list's length. Items that reach the list some other way (or all of
// them after the model is reset) are swept once at the start of the next pass.
class HarvestPass : public QObject
{
    Q_OBJECT

public:
    explicit HarvestPass(KeywordListModel &list, QObject *parent = nullptr);

    // One pass over a document's links. Without a document nothing changes and the result
    // is false; the caller carries on.
    bool run(const std::optional<PageLinks> &links);

private:
    void sweepUnchecked();

    KeywordListModel &m_list;
    // Items [0, m_swept) have been through the filters and hold no one-space item.
    qsizetype m_swept = 0;
};

// The straightforward form of the pass: the whole list swept after every link. It is the
// reference the fast pass is checked against, and what the benchmark compares it with.
bool harvestBySweeps(const std::optional<PageLinks> &links, KeywordListModel &list);
