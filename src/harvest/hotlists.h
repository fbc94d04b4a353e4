#pragma once

#include "harvest/pagelinks.h"

// 只取榜单: the links of a page that stand in its hot lists, in document order.
//
// A hot list is many entries built alike side by side in one container. Walking up from a
// link, the first ancestor whose parent holds at least five children of its tag, each with a
// link at the same place below it (the same tags and first classes down to the link), is the
// link's entry, and the parent its list; the links at that place in that list are a group.
// A group is a hot list when its keywords are mostly distinct and read as titles: six or more
// characters at the median (a CJK character counts one, a word of other letters one), or three
// or more where the entries are cards (beside the link, a text with a figure or a date, another
// link to the same address, or an action link that reads the same in every entry but for its
// count). Of the groups of one list's
// entries only the one with the longest keywords counts (a card's title, not its author, time
// or counts), and a group whose entries hold hot lists themselves is a page's sections, not a
// list (a board's name above its entries).
PageLinks hotListLinks(const PageLinks &links, const LinkLayout &layout);

// How long a text reads: a character of the CJK scripts counts one, and so does a word of other
// letters or digits; spaces and punctuation count nothing.
int readingLength(QStringView text);
