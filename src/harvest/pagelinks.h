#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

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
};

// Gets a collection's answer, exactly once.
using LinksAnswer = std::function<void(LinkCollection)>;
