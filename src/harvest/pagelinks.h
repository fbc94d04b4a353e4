#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// One link of a loaded document, as the collection reads it.
struct PageLink
{
    QString address; // resolved
    QString text; // what it shows (innerText)
    // The texts of the elements the link is built of, in document order, where it is built of
    // several that each hold a whole text (a card's rank, title and figure side by side).
    // Empty for a link whose text runs through it, markup inside a sentence included.
    QStringList segments = {};

    friend bool operator==(const PageLink &, const PageLink &) = default;
};

// A document's links in document order.
using PageLinks = QList<PageLink>;

// Where a document's links stand: the elements above them, up to the root. Nodes 0 to n - 1
// are the page's n links in document order; their ancestors follow.
struct LinkLayout
{
    QList<int> parents; // each node's parent node; -1 for the root
    QList<int> kinds; // each node's kind, an index into kindNames
    QStringList kindNames; // an element's tag and classes: "LI item top", "A"
    // Beside the links: an ancestor's children that hold no link, as their texts when short
    // (a rank, a figure), by node.
    QHash<int, QStringList> pieces = {};

    friend bool operator==(const LinkLayout &, const LinkLayout &) = default;
};

// What a harvest asks the engine for.
struct CollectionRequest
{
    // The links' layout as well, for the page's hot lists.
    bool listsOnly = false;
    // The user's rule for the page (榜单规则.txt): the elements it selects take the place of the
    // links.
    QString selector = {};
};

// What the engine answered when asked for its document's links.
struct LinkCollection
{
    enum class Outcome {
        Collected, // `links` are the document's
        NoDocument, // nothing the user navigated to: no load yet, an error page, a dead renderer,
                    // or the earlier document while the address last sent has not answered
        NoAnswer, // the document did not answer in time (a busy or hung script)
        Abandoned, // the wait was cancelled
    };

    Outcome outcome = Outcome::NoDocument;
    PageLinks links;
    std::optional<LinkLayout> layout = {}; // when asked for
};

// Gets a collection's answer, exactly once.
using LinksAnswer = std::function<void(LinkCollection)>;
