#pragma once

#include <QList>
#include <QString>

// One link of a loaded document: its resolved address and the text it shows.
struct PageLink
{
    QString address;
    QString text;

    friend bool operator==(const PageLink &, const PageLink &) = default;
};

// A document's links in document order.
using PageLinks = QList<PageLink>;
