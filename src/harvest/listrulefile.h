#pragma once

#include "core/textencoding.h"

#include <QList>
#include <QStringList>

// One line of 榜单规则.txt: for a page whose address starts with `prefix`, the harvest takes the
// elements `selector` selects instead of the page's links.
struct ListRule
{
    QString prefix;
    QString selector;
    int line = 0; // in the file, from 1
};

// The user's own choice of entries per site: "榜单规则.txt" beside the URL list, each non-empty
// line an address prefix, white space and a CSS selector, read under the same line rules. It is
// optional, and the program only ever reads it.
struct ListRuleFile
{
    bool present = false; // there is something of that name
    QString path;
    QList<ListRule> rules; // in file order
    struct Skipped
    {
        int line;
        QString reason;
    };
    QList<Skipped> skipped; // the lines left out, in file order
    QString error; // why it could not be read, naming it; empty when it was read or is absent

    static QString fileName(); // "榜单规则.txt"

    // Leaves out the rules whose selectors the engine rejects: `accepted` holds one verdict a
    // rule, in order.
    void keepAccepted(const QList<bool> &accepted);
    // What the user is told at start: why the file could not be read, or which lines were
    // skipped; empty when all is well.
    QString report() const;
};

ListRuleFile readListRuleFile(const QString &directory, const TextEncoding &encoding);

// The selector of the rule with the longest prefix that `address` starts with, as written or as
// the browser completes it ("example.com/hot" → "http://example.com/hot"); empty when none.
QString selectorFor(const QList<ListRule> &rules, const QString &address);
