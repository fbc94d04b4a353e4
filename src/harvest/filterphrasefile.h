#pragma once

#include "core/textencoding.h"

#include <QStringList>

// The user's own filter phrases: "过滤关键字.txt" beside the URL list, one phrase a line, read
// under the same line rules. It is optional, and the program only ever reads it.
struct FilterPhraseFile
{
    bool present = false; // there is something of that name
    QStringList phrases; // its non-empty lines, in file order
    QString error; // why it could not be read, naming it; empty when it was read or is absent

    static QString fileName(); // "过滤关键字.txt"
};

FilterPhraseFile readFilterPhraseFile(const QString &directory, const TextEncoding &encoding);
