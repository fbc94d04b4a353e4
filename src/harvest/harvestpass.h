#pragma once

#include "harvest/pagelinks.h"
#include "harvest/phrasematcher.h"

#include <QObject>
#include <QStringList>

class KeywordListModel;

// The harvest pass: appends the keyword of each link (a card's title, see keywordOf) to the
// keyword list, skipping a link whose
// address equals that of the link appended just before it (an empty address equals none), and
// sweeps after every link so that the list never holds a filtered text, a one-space item or an
// empty first item.
//
// A keyword and its icon or its rank link to the same address, in either order. So within a
// run of links to one address, an empty or digits-only text (an icon, a rank) only holds the
// place: the run's first other text takes it. A run of nothing else keeps its first text.
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

    // The user's own filter phrases, matched beside the built-in table from the next pass on.
    void setOwnPhrases(const QStringList &phrases);

    // One pass over a document's links. Returns the items it appended, in order.
    QStringList run(const PageLinks &links);

private:
    bool filtered(QStringView item) const;
    void sweepUnchecked();

    KeywordListModel &m_list;
    PhraseMatcher m_filters;
    // Items [0, m_swept) have been through the filters and hold no one-space item.
    qsizetype m_swept = 0;
};
