#include "core/keywordlistmodel.h"
#include "harvest/filterphrasefile.h"
#include "harvest/harvestpass.h"
#include "support/harvestreference.h"
#include "support/testfiles.h"

#include <QDir>
#include <QRandomGenerator>

#include <algorithm>

using namespace Qt::StringLiterals;

static const QString E; // an empty item

// Links as "address|text". A link to the address of the link just before it is skipped, a filtered
// one included. After each link no item holding a filter text (anywhere, compared code unit by code
// unit), no one-space item and no empty first item stays, wherever it came from.
TEST(Pass, AppendsTheLinkTextsAndSweeps)
{
    const std::tuple<QStringList, QStringList, QStringList> rows[] = {
        {{}, {u"A|1"_s, u"A|2"_s, u"B|3"_s, u"A|4"_s}, {u"1"_s, u"3"_s, u"4"_s}},
        {{}, {u"A|新闻"_s, u"A|hot"_s, u"B|b"_s}, {u"b"_s}},
        {{},
         {u"A|热门新闻排行"_s, u"B|Search"_s, u"C|a<"_s, u"D|百度风云"_s, u"E|RSS订"_s},
         {u"Search"_s, u"百度风云"_s, u"RSS订"_s}},
        // Within a run of links to one address an icon's empty text or a rank only holds the
        // place: the run's first other text takes it, whichever came first. Today's board: a
        // pinned entry's icon, then ranked entries, each with two "查看更多>" links.
        {{},
         {u"A|"_s, u"A|置顶"_s, u"A|查看更多>"_s, u"B| 1 "_s, u"B|甲"_s, u"B|查看更多>"_s,
          u"B|查看更多>"_s, u"C|2"_s, u"C|\n"_s, u"C|乙"_s},
         {u"置顶"_s, u"甲"_s, u"乙"_s}},
        {{u"x"_s},
         {u"A|"_s, u"A|a"_s, u"B|b"_s, u"B|"_s, u"C|c"_s, u"C|3"_s},
         {u"x"_s, u"a"_s, u"b"_s, u"c"_s}},
        // Alone, or at another address than the text after it, a rank is a keyword; a run of
        // place holders keeps its first; a run comes back as A, A, B, A does.
        {{},
         {u"A|12306"_s, u"B|1"_s, u"C|甲"_s, u"D|2"_s, u"D|3"_s, u"E| "_s, u"E|"_s, u"C|4"_s,
          u"C|乙"_s},
         {u"12306"_s, u"1"_s, u"甲"_s, u"2"_s, u"乙"_s}},
        {{u"x"_s}, {u"A|"_s, u"A| "_s, u"A|7"_s}, {u"x"_s, E}},
        // Across the sweeps: a one-space icon swept away still gives its place up, and a
        // filtered keyword takes its rank with it.
        {{u"x"_s}, {u"A| "_s, u"A|a"_s, u"B|1"_s, u"B|新闻"_s, u"B|b"_s}, {u"x"_s, u"a"_s}},
        {{}, {u"A|a"_s, u"B|"_s, u"C|  "_s, u"D| "_s, u"E|e"_s}, {u"a"_s, E, u"  "_s, u"e"_s}},
        {{}, {u"A| "_s, u"B|"_s, u"C|c"_s}, {u"c"_s}},
        // An item moving up into a removed one's place is examined too.
        {{u"贴吧"_s, u"新闻"_s, u"天气"_s}, {u"A|晴"_s}, {u"天气"_s, u"晴"_s}},
        {{E, E, u"x"_s}, {u"A|a"_s}, {u"x"_s, u"a"_s}},
        {{E, u"新闻"_s}, {}, {E, u"新闻"_s}}, // no link, no sweep
    };
    for (const auto &[before, pairs, after] : rows) {
        KeywordListModel list;
        list.append(before);
        PageLinks links;
        for (const QString &pair : pairs)
            links.append({pair.section(u'|', 0, 0), pair.section(u'|', 1)});
        HarvestPass(list).run(links);
        EXPECT_EQ(list.items(), after) << ::testing::PrintToString(pairs);
    }
}

// The pass looks only at what each link changed. It must agree with the reference, which sweeps
// the whole list after every link, on any pages, also when items are added (by the user's
// edits) or removed (a double-click) in between, or when the user's phrases come in.
TEST(Pass, AgreesWithTheReferenceOnRandomPages)
{
    const QStringList texts {u"a"_s,    u"b"_s,    E,        u" "_s,      u"  "_s,
                             u"新闻"_s, u"天气"_s, u"x<y"_s, u"Search"_s, u"贴吧热议"_s,
                             u"更多"_s, u"c"_s,    u"7"_s,   u" 12"_s};
    QRandomGenerator random(20181010);
    const auto text = [&] { return texts.at(random.bounded(texts.size())); };
    for (int round = 0; round < 300 && !HasFailure(); ++round) {
        KeywordListModel fast, reference;
        HarvestPass pass(fast);
        QStringList own;
        for (int page = 0; page < 4; ++page) {
            if (page == 2 && round % 2)
                pass.setOwnPhrases(own = {u"天"_s, u"7"_s, u"x"_s});
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

// One walk over the text for every phrase: phrases that overlap, nest, share beginnings and
// ends, against the plain search for each.
TEST(Pass, OwnPhrasesMatchAsThePlainSearchDoes)
{
    QRandomGenerator random(2021);
    const auto word = [&](int longest) {
        QString w;
        for (int n = random.bounded(longest + 1); n > 0; --n)
            w += u"ab新闻"_s.at(random.bounded(4));
        return w;
    };
    for (int round = 0; round < 400 && !HasFailure(); ++round) {
        QStringList phrases;
        for (int n = random.bounded(1, 8); n > 0; --n)
            phrases.append(word(4));
        const PhraseMatcher matcher({phrases.begin(), phrases.end()});
        for (int n = 0; n < 20; ++n) {
            const QString text = word(12);
            EXPECT_EQ(
                matcher.containedIn(text),
                std::ranges::any_of(
                    phrases, [&](const QString &p) { return !p.isEmpty() && text.contains(p); }))
                << phrases.join(u'|').toStdString() << " in " << text.toStdString();
        }
    }
}

// "过滤关键字.txt": each non-empty line one more filter phrase, read under the URL list's line
// rules in the encoding passed in. Without the file nothing changes; a file that cannot be read
// is named, with the reason, and the table alone filters.
TEST(Pass, FilterFileAddsTheUsersPhrases)
{
    const TextEncoding gbk("GBK");
    const PageLinks page = {{u"1"_s, u"换一换"_s},  {u"2"_s, u"设置 "_s}, {u"3"_s, u"热搜"_s},
                            {u"4"_s, u"京ICP证"_s}, {u"5"_s, u"新闻"_s},  {u"6"_s, u"甲"_s}};
    const std::tuple<std::optional<QString>, bool, QStringList> rows[] = {
        {std::nullopt, false, {u"换一换"_s, u"设置 "_s, u"热搜"_s, u"京ICP证"_s, u"甲"_s}},
        {u""_s, true, {u"换一换"_s, u"设置 "_s, u"热搜"_s, u"京ICP证"_s, u"甲"_s}},
        {u"换一\r\n\n设置\r\r\nICP\n"_s, true, {u"热搜"_s, u"甲"_s}},
        {u"热搜\r京ICP证"_s, true, {u"换一换"_s, u"设置 "_s, u"甲"_s}},
    };
    for (const auto &[file, present, harvest] : rows) {
        QTemporaryDir dir;
        if (file)
            writeBytes(dir.filePath(FilterPhraseFile::fileName()), gbk.encode(*file));
        const FilterPhraseFile read = readFilterPhraseFile(dir.path(), gbk);
        KeywordListModel list;
        HarvestPass pass(list);
        pass.setOwnPhrases(read.phrases);
        pass.run(page);
        EXPECT_EQ(std::tuple(read.present, read.error, list.items()),
                  std::tuple(present, QString(), harvest));
    }
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(FilterPhraseFile::fileName()));
    const FilterPhraseFile read = readFilterPhraseFile(dir.path(), gbk);
    EXPECT_TRUE(read.present && read.phrases.isEmpty());
    EXPECT_TRUE(
        read.error.contains(QDir::toNativeSeparators(dir.filePath(FilterPhraseFile::fileName()))));
}
