#include "harvest/cardtext.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Whatever ends a line for some reader: CR, LF, VT, FF, the file, group and record separators
// (Python's splitlines), NEL, and Unicode's line and paragraph separators.
bool endsLine(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0a && u <= 0x0d) || (u >= 0x1c && u <= 0x1e) || u == 0x85 || u == 0x2028
        || u == 0x2029;
}

// Badges that stand beside a title on the boards of the big portals and their aggregators.
const QStringList Badges
    = {u"热"_s,   u"新"_s,   u"沸"_s,   u"爆"_s,   u"荐"_s,   u"商"_s,   u"独"_s,   u"火"_s,
       u"首"_s,   u"精"_s,   u"急"_s,   u"暖"_s,   u"置顶"_s, u"独家"_s, u"首发"_s, u"直播"_s,
       u"辟谣"_s, u"热门"_s, u"最新"_s, u"推荐"_s, u"广告"_s, u"hot"_s,  u"new"_s,  u"top"_s};

// A count, as boards write them: digits with separators and decimals, a unit of ten thousand
// or a thousand, and what was counted, before or after.
const QRegularExpression Figure(
    uR"(^(?:(?:热度|阅读|浏览|播放|观看|讨论|评论|点赞|搜索)\s*[:：]?\s*)?\d[\d,]*(?:\.\d+)?\s*)"
    uR"((?:[万亿千wWkKmM]\+?)?\s*)"
    uR"((?:热度|热搜|热议|阅读|浏览|播放|观看|讨论|评论|点赞|赞|收藏|转发|回答|关注|次|人|条|票|分)?$)"_s);

// The line split at the segments it is made of: a run of two or more of them, in order, each
// followed by at most one space. Empty when the line is no such run.
QStringList splitAtSegments(QStringView line, const QStringList &segments)
{
    for (qsizetype first = 0; first + 1 < segments.size(); ++first) {
        qsizetype at = 0;
        qsizetype next = first;
        while (next < segments.size() && line.sliced(at).startsWith(segments.at(next))) {
            at += segments.at(next++).size();
            if (at == line.size())
                break;
            if (line.at(at) == u' ')
                ++at;
        }
        if (at == line.size() && next - first >= 2)
            return segments.sliced(first, next - first);
    }
    return {};
}

} // namespace

QStringList cardPieces(const QString &text, const QStringList &segments)
{
    QStringList lines;
    qsizetype from = 0;
    for (qsizetype k = 0; k <= text.size(); ++k) {
        if (k == text.size() || endsLine(text.at(k))) {
            const QString line = text.sliced(from, k - from).simplified();
            if (!line.isEmpty())
                lines.append(line);
            from = k + 1;
        }
    }
    if (segments.size() < 2)
        return lines;
    QStringList simpleSegments;
    for (const QString &segment : segments)
        simpleSegments.append(segment.simplified());
    QStringList pieces;
    for (const QString &line : std::as_const(lines)) {
        const QStringList split = splitAtSegments(line, simpleSegments);
        if (split.isEmpty())
            pieces.append(line);
        else
            pieces.append(split);
    }
    return pieces;
}

bool holdsPlaceInCard(QStringView piece)
{
    const QStringView trimmed = piece.trimmed();
    if (trimmed.isEmpty())
        return true;
    if (std::ranges::all_of(trimmed, [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return true;
    if (std::ranges::any_of(Badges, [&](const QString &badge) {
            return trimmed.compare(badge, Qt::CaseInsensitive) == 0;
        }))
        return true;
    return Figure.match(trimmed).hasMatch();
}

QString keywordOf(const PageLink &link)
{
    // Most links: one line of text running through them.
    if (link.segments.isEmpty() && std::ranges::none_of(link.text, endsLine))
        return link.text;
    const QStringList pieces = cardPieces(link.text, link.segments);
    if (pieces.size() == 1 && std::ranges::none_of(link.text, endsLine))
        return link.text;
    const auto keyword = std::ranges::find_if_not(pieces, holdsPlaceInCard);
    return keyword != pieces.end() ? *keyword : pieces.join(u' ');
}
