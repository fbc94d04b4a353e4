#pragma once

#include "harvest/pagelinks.h"

#include <QStringList>

// What a link gives the keyword list. Today's hot lists make each entry one link around a
// card: a rank, the title, a badge, a heat figure, an excerpt, sometimes the whole card twice.
// Its text is read as pieces: the lines the engine shows it on and, within a line, the
// segments the link is built of (PageLink::segments) where the line is exactly those side by
// side. A piece that only holds a place (a rank, a badge, a figure) is no keyword: the link's
// keyword is its first other piece. A text of one piece is the keyword as it stands; a card of
// nothing but place holders keeps its pieces, joined by one space. No keyword holds a line
// break.
QString keywordOf(const PageLink &link);

// The pieces a link's text is read as, in order.
QStringList cardPieces(const QString &text, const QStringList &segments);

// A piece that only holds a place beside a card's title: digits alone (a rank, "01"), a badge
// (热, 新, 沸, 爆 and the like) or a heat or count figure ("175.3万", "3016 万热度", "2.1w",
// "1234阅读").
bool holdsPlaceInCard(QStringView piece);
