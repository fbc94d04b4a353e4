#include "core/keywordlistmodel.h"
#include "harvest/harvestpass.h"
#include "support/harvestreference.h"
#include "support/testfiles.h"

#include <QRandomGenerator>

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
        // A keyword's icon link, then its text link.
        {{}, {u"A|"_s, u"A|a"_s}, {}},
        {{u"x"_s}, {u"A|"_s, u"A|a"_s}, {u"x"_s, E}},
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
// edits) or removed (a double-click) in between.
TEST(Pass, AgreesWithTheReferenceOnRandomPages)
{
    const QStringList texts {u"a"_s,    u"b"_s,   E,           u" "_s,        u"  "_s,   u"新闻"_s,
                             u"天气"_s, u"x<y"_s, u"Search"_s, u"贴吧热议"_s, u"更多"_s, u"c"_s};
    QRandomGenerator random(20181010);
    const auto text = [&] { return texts.at(random.bounded(texts.size())); };
    for (int round = 0; round < 300 && !HasFailure(); ++round) {
        KeywordListModel fast, reference;
        HarvestPass pass(fast);
        for (int page = 0; page < 4; ++page) {
            const QStringList added(random.bounded(3), text());
            fast.append(added);
            reference.append(added);
            PageLinks links;
            for (int i = random.bounded(12); i > 0; --i)
                links.append({QString::number(random.bounded(3)), text()});
            pass.run(links);
            harvestBySweeps(links, reference);
            ASSERT_EQ(fast.items(), reference.items()) << "round " << round << " page " << page;
            const qsizetype victim = fast.count() ? random.bounded(fast.count()) : 0;
            fast.removeAt(victim);
            reference.removeAt(victim);
        }
    }
}
