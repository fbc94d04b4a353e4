#include "core/keywordlistmodel.h"
#include "harvest/cardtext.h"
#include "harvest/harvestpass.h"
#include "harvest/hotlists.h"
#include "support/harvestreference.h"
#include "support/testfiles.h"

#include <QRandomGenerator>

using namespace Qt::StringLiterals;

static const QString E; // an empty item

// Lists with their items separated by commas, links as "address|text". A link to the address of
// the link just before it is skipped, a filtered one included. After each link no item holding a
// filter text (anywhere, compared code unit by code unit), no one-space item and no empty first
// item stays, wherever it came from.
TEST(Pass, AppendsTheLinkTextsAndSweeps)
{
    const std::tuple<QString, QString, QString> rows[] = {
        {u""_s, u"A|1,A|2,B|3,A|4"_s, u"1,3,4"_s},
        {u""_s, u"A|新闻,A|hot,B|b"_s, u"b"_s},
        {u""_s, u"A|热门新闻排行,B|Search,C|a<,D|百度风云,E|RSS订"_s, u"Search,百度风云,RSS订"_s},
        // Within a run of links to one address an icon's empty text or a rank only holds the
        // place: the run's first other text takes it, whichever came first. Today's board: a
        // pinned entry's icon, then ranked entries, each with two "查看更多>" links.
        {u""_s, u"A|,A|置顶,A|查看更多>,B| 1 ,B|甲,B|查看更多>,B|查看更多>,C|2,C|\n,C|乙"_s,
         u"置顶,甲,乙"_s},
        {u"x"_s, u"A|,A|a,B|b,B|,C|c,C|3"_s, u"x,a,b,c"_s},
        // Alone, or at another address than the text after it, a rank is a keyword; a run of
        // place holders keeps its first; a run comes back as A, A, B, A does.
        {u"x"_s, u"A|12306,B|1,C|甲,D|2,D|3,E| ,E|,C|4,C|乙,F|,F| ,F|7"_s, u"x,12306,1,甲,2,乙,"_s},
        // Across the sweeps: a one-space icon swept away still gives its place up, and a
        // filtered keyword takes its rank with it.
        {u"x"_s, u"A| ,A|a,B|1,B|新闻,B|b"_s, u"x,a"_s},
        {u""_s, u"A|a,B|,C|  ,D| ,E|e"_s, u"a,,  ,e"_s},
        {u""_s, u"A| ,B|,C|c"_s, u"c"_s},
        // The pass and its filters see a card's keyword, not its text: a rank link holds the
        // card's place, a filtered title goes, a blank card is an empty item.
        {u"x"_s, u"A|1,A|甲\n热,B|2\n乙\n新闻,C|3\n新闻标题\n175万,D|\n\u3000\n"_s, u"x,甲,乙,"_s},
        // An item moving up into a removed one's place is examined too.
        {u"贴吧,新闻,天气"_s, u"A|晴"_s, u"天气,晴"_s},
        {u",,x"_s, u"A|a"_s, u"x,a"_s},
        {u",新闻"_s, u""_s, u",新闻"_s}, // no link, no sweep
        // A rule's entries that are no links have no address, and pair with nothing.
        {u""_s, u"|甲,|乙,|,|丙"_s, u"甲,乙,,丙"_s},
    };
    const auto split = [](const QString &s) { return s.isEmpty() ? QStringList() : s.split(u','); };
    for (const auto &[before, pairs, after] : rows) {
        KeywordListModel list;
        list.append(split(before));
        PageLinks links;
        for (const QString &pair : split(pairs))
            links.append({pair.section(u'|', 0, 0), pair.section(u'|', 1)});
        HarvestPass(list).run(links);
        EXPECT_EQ(list.items(), split(after)) << pairs.toStdString();
    }
}

// The pass looks only at what each link changed. It must agree with the reference, which sweeps
// the whole list after every link, on any pages, also when items are added (by the user's
// edits) or removed (a double-click) in between, or when the user's phrases come in.
TEST(Pass, AgreesWithTheReferenceOnRandomPages)
{
    const QStringList texts {u"a"_s,    u"b"_s,   E,           u" "_s,        u"  "_s,   u"新闻"_s,
                             u"天气"_s, u"x<y"_s, u"Search"_s, u"贴吧热议"_s, u"更多"_s, u"c"_s};
    QRandomGenerator random(20181010);
    // Words of a few letters that overlap, nest and share beginnings and ends: texts, and the
    // user's phrases to find in them.
    const auto word = [&](int shortest, int longest) {
        QString w;
        for (int n = random.bounded(shortest, longest + 1); n > 0; --n)
            w += u"ab 7新"_s.at(random.bounded(5));
        return w;
    };
    const auto text
        = [&] { return random.bounded(2) ? texts.at(random.bounded(texts.size())) : word(0, 8); };
    for (int round = 0; round < 1000 && !HasFailure(); ++round) {
        KeywordListModel fast, reference;
        HarvestPass pass(fast);
        QStringList own;
        for (int page = 0; page < 4; ++page) {
            if (page == 2 && round % 2)
                pass.setOwnPhrases(own = {word(1, 4), word(1, 4), word(1, 4), word(2, 4)});
            const QStringList added(random.bounded(3), text());
            fast.append(added);
            reference.append(added);
            PageLinks links;
            for (int i = random.bounded(12); i > 0; --i)
                links.append({QString::number(random.bounded(3)), text()});
            pass.run(links);
            harvestBySweeps(links, reference, own);
            ASSERT_EQ(fast.items(), reference.items()) << "round " << round << " page " << page;
            const qsizetype victim = fast.count() ? random.bounded(fast.count()) : 0;
            fast.removeAt(victim);
            reference.removeAt(victim);
        }
    }
}

// A link's keyword, from its text (lines joined by "\n" here, or the line break named) and its
// segments (the elements it is built of, "|" between them).
TEST(Card, GivesItsTitle)
{
    const std::tuple<QString, QString, QString> rows[] = {
        // Today's cards: the title, whatever stands around it.
        {u"这些照片千万别发在朋友圈\n热"_s, u""_s, u"这些照片千万别发在朋友圈"_s},
        {u"1\n标题甲\n热\n1\n标题甲\n热"_s, u"1|标题甲|热|1|标题甲|热"_s, u"标题甲"_s},
        {u"1 19岁女孩挤痘痘引发颅内感染 175.3万"_s, u"1|19岁女孩挤痘痘引发颅内感染|175.3万"_s,
         u"19岁女孩挤痘痘引发颅内感染"_s},
        {u"119岁女孩挤痘痘引发颅内感染3016 万热度"_s, u"1|19岁女孩挤痘痘引发颅内感染|3016 万热度"_s,
         u"19岁女孩挤痘痘引发颅内感染"_s},
        {u"01\n航天员出舱画面公布\n2624 万热度"_s, u""_s, u"航天员出舱画面公布"_s},
        {u"如何看待某某现象？\n这是一段很长的摘录，讲了许多事情，一直讲下去。"_s, u""_s,
         u"如何看待某某现象？"_s},
        {u"吴磊 155.0万"_s, u"吴磊|155.0万"_s, u"吴磊"_s},
        {u"新 暴雨预警升级"_s, u"新|暴雨预警升级"_s, u"暴雨预警升级"_s},
        {u"HOT\n机场临时关闭\n2.1w"_s, u""_s, u"机场临时关闭"_s},
        {u"3\n南方回南天来了\n1234阅读"_s, u""_s, u"南方回南天来了"_s},
        // What is no card stays as it is.
        {u"12306"_s, u""_s, u"12306"_s},
        {u"热"_s, u""_s, u"热"_s},
        {u"  两个空格  "_s, u""_s, u"  两个空格  "_s},
        {u"如何评价新作的口碑"_s, u""_s, u"如何评价新作的口碑"_s},
        {u"热 搜"_s, u""_s, u"热 搜"_s}, // one line, no elements side by side
        {u" 甲  乙 "_s, u"甲 乙|丙"_s, u" 甲  乙 "_s}, // not the segments it holds
        // A card of nothing but place holders keeps its pieces.
        {u"1\n热\n175.3万"_s, u""_s, u"1 热 175.3万"_s},
        {u"\n"_s, u""_s, u""_s},
        {u"2 新"_s, u"2|新"_s, u"2 新"_s},
    };
    for (const auto &[text, segments, keyword] : rows) {
        const QStringList split = segments.isEmpty() ? QStringList() : segments.split(u'|');
        EXPECT_EQ(keywordOf({u"/e"_s, text, split}), keyword) << text.toStdString();
    }
    // Every character that ends a line for some reader ends a piece.
    for (const char16_t lineEnd :
         {u'\r', u'\n', u'\v', u'\f', u'\x1c', u'\x1d', u'\x1e', u'\x85', u'\u2028', u'\u2029'}) {
        const QString text = u"标题乙"_s + QChar(lineEnd) + u"新"_s;
        EXPECT_EQ(keywordOf({u"/e"_s, text}), u"标题乙"_s) << int(lineEnd);
        EXPECT_EQ(keywordOf({u"/e"_s, u"甲"_s + QChar(lineEnd) + u"乙"_s}), u"甲"_s)
            << int(lineEnd);
    }
}

// A page as its links, one a row: "path|text|address", the path's elements written as
// "li.item.top#2" (tag, classes after dots, and a number after # to tell siblings apart). Rows
// go into document order by their links' parents.
std::pair<PageLinks, LinkLayout> laidOut(QStringList rows)
{
    std::ranges::stable_sort(
        rows, {}, [](const QString &row) { return row.section(u'|', 0, 0).section(u'/', 0, -2); });
    PageLinks links;
    LinkLayout layout;
    QHash<QString, int> nodes;
    const auto kind = [&](QString element) {
        element = element.section(u'#', 0, 0);
        const QString name = element.section(u'.', 0, 0).toUpper() + u' '
            + element.section(u'.', 1).replace(u'.', u' ');
        if (!layout.kindNames.contains(name.trimmed()))
            layout.kindNames.append(name.trimmed());
        return int(layout.kindNames.indexOf(name.trimmed()));
    };
    for (const QString &row : rows) {
        links.append({row.section(u'|', 2), row.section(u'|', 1, 1)});
        layout.parents.append(-1);
        layout.kinds.append(kind(row.section(u'|', 0, 0).section(u'/', -1)));
    }
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QStringList path = rows.at(i).section(u'|', 0, 0).split(u'/');
        for (int child = int(i); path.size() > 1 && child >= 0;) {
            path.removeLast();
            const QString key = path.join(u'/');
            const bool known = nodes.contains(key);
            if (!known) {
                nodes.insert(key, int(layout.parents.size()));
                layout.parents.append(-1);
                layout.kinds.append(kind(path.last()));
            }
            layout.parents[child] = nodes.value(key);
            child = known ? -1 : nodes.value(key);
        }
    }
    return {links, layout};
}

// Which links of a page stand in hot lists, as their keywords.
TEST(HotLists, AreManyEntriesBuiltAlikeWhoseTextsReadAsTitles)
{
    // A row for each number from 1 to n (its %) and each film (its $).
    const QStringList films
        = {u"流浪星球"_s, u"深海来信"_s, u"满江红"_s, u"无名之辈"_s, u"长空之王"_s};
    const auto times = [&](int n, const QString &row) {
        QStringList rows;
        for (int k = 1; k <= n; ++k)
            rows.append(QString(row)
                            .replace(u"%"_s, QString::number(k))
                            .replace(u"$"_s, films.value(k - 1)));
        return rows;
    };
    QStringList boards = times(5, u"html/body/div.box#%/h3/a|热点话题第%期榜单|/b%"_s);
    QStringList boardTitles;
    for (const QString &b : {u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s}) {
        boards += times(
            5, u"html/body/div.box#B/ul/li#%/a|B号榜第%位航天员出舱|/eB-%"_s.replace(u'B', b));
        boardTitles += times(5, u"B号榜第%位航天员出舱"_s.replace(u'B', b));
    }
    const std::pair<QStringList, QStringList> pages[] = {
        // Five labels are a tab bar, five titles a side box.
        {times(5, u"html/body/div.tabs/a#%|标签%|/t%"_s)
             + times(5, u"html/body/ul/li#%/a|#某地第%次发布最新通报#|/e%"_s),
         times(5, u"#某地第%次发布最新通报#"_s)},
        // A card's author and time are no entries; neither is a section's name.
        {times(6, u"html/body/div.feed/div.card#%/a.name|作者|/u"_s)
             + times(6, u"html/body/div.feed/div.card#%/p/a|某地外卖小哥上演暖心%幕|/e%"_s)
             + times(6, u"html/body/div.feed/div.card#%/a.time|%分钟前|/p%"_s),
         times(6, u"某地外卖小哥上演暖心%幕"_s)},
        {boards, boardTitles},
        // One text repeated is no list, however long.
        {times(5, u"html/body/ul/li#%/a|查看本期完整榜单|/m%"_s), {}},
        // Films' short titles need their cards: a rank's link to the same address.
        {times(5, u"html/body/ul/li#%/a|$|/e%"_s), {}},
        {times(5, u"html/body/ul/li#%/a.rank|%|/e%"_s) + times(5, u"html/body/ul/li#%/a|$|/e%"_s),
         films},

    };
    for (const auto &[rows, keywords] : pages) {
        const auto [links, layout] = laidOut(rows);
        QStringList found;
        for (const PageLink &link : hotListLinks(links, layout))
            found.append(keywordOf(link));
        EXPECT_EQ(found, keywords) << rows.join(u'\n').toStdString();
    }
    EXPECT_EQ(readingLength(u"iPhone版下载"), 4);
    EXPECT_EQ(readingLength(u"#话题 2025#，好"), 4);
}
