#include "core/keywordlistmodel.h"
#include "harvest/harvestpass.h"
#include "harvest/navfilters.h"
#include "support/testfiles.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString E; // an empty item

// Links given as "address|text" pairs.
PageLinks linksOf(const QStringList &pairs)
{
    PageLinks links;
    for (const QString &pair : pairs) {
        const qsizetype bar = pair.indexOf(u'|');
        links.append({pair.left(bar), pair.mid(bar + 1)});
    }
    return links;
}

struct SweepCase
{
    const char *name;
    QStringList before;
    QStringList after;
};

} // namespace

TEST(NavFilters, MatchIsExactSubstringAndCaseSensitive)
{
    for (QStringView filter : NavFilters)
        EXPECT_TRUE(containsNavFilter(QString(u"前"_s + filter + u"后"_s)))
            << filter.toString().toStdString();
    const QStringList kept {u"Search"_s, u"mp3下载"_s,  u"天气"_s, E,
                            u" "_s,      u"百度风云"_s, u"RSS订"_s};
    for (const QString &item : kept)
        EXPECT_FALSE(containsNavFilter(item)) << item.toStdString();
}

class Sweeps : public ::testing::TestWithParam<SweepCase>
{
};

TEST_P(Sweeps, LeaveNoFilteredOneSpaceOrEmptyFirstItem)
{
    KeywordListModel list;
    list.append(QStringList(GetParam().before));
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    FilterSweep(list);
    BlankSweep(list);
    EXPECT_EQ(list.items(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Harvest, Sweeps,
    ::testing::Values(
        SweepCase {"FilteredFirstOfTwo", {u"热门新闻排行"_s, u"天气"_s}, {u"天气"_s}},
        SweepCase {"ChainOfFilteredItems", {u"新闻"_s, u"贴吧"_s, u"天气"_s}, {u"天气"_s}},
        // An item that moves into a removed item's place is examined too.
        SweepCase {"MovedUpItemIsNotPassedOver", {u"贴吧"_s, u"新闻"_s, u"天气"_s}, {u"天气"_s}},
        SweepCase {"LessThanSign", {u"a<b"_s}, {}},
        SweepCase {"CapitalSearchStays", {u"Search"_s}, {u"Search"_s}},
        SweepCase {"EmptyOneSpaceWeather", {E, u" "_s, u"天气"_s}, {u"天气"_s}},
        SweepCase {"OneSpaceAlone", {u" "_s}, {}}, SweepCase {"OneSpaceThenEmpty", {u" "_s, E}, {}},
        SweepCase {"TwoEmpty", {E, E}, {}},
        SweepCase {"EmptyBehindWeatherStays", {u"天气"_s, E}, {u"天气"_s, E}},
        SweepCase {
            "SeveralSpacesStay", {u"  "_s, u"天气"_s, u"   "_s}, {u"  "_s, u"天气"_s, u"   "_s}},
        SweepCase {"EmptyHeadRunGoes", {E, E, u"x"_s, E, u"y"_s}, {u"x"_s, E, u"y"_s}},
        SweepCase {"EmptyList", {}, {}}),
    [](const auto &row) { return std::string(row.param.name); });

struct PassCase
{
    const char *name;
    QStringList before;
    QStringList links; // "address|text"
    QStringList after;
};

class Pass : public ::testing::TestWithParam<PassCase>
{
};

TEST_P(Pass, AppendsWhatTheLinksShow)
{
    KeywordListModel list;
    list.append(QStringList(GetParam().before));
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    HarvestPass pass(list);
    EXPECT_TRUE(pass.run(linksOf(GetParam().links)));
    EXPECT_EQ(list.items(), GetParam().after);

    KeywordListModel reference;
    reference.append(QStringList(GetParam().before));
    harvestBySweeps(linksOf(GetParam().links), reference);
    EXPECT_EQ(reference.items(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Harvest, Pass,
    ::testing::Values(
        PassCase {"ThreeLinks", {}, {u"A|a"_s, u"B|b"_s, u"C|c"_s}, {u"a"_s, u"b"_s, u"c"_s}},
        // The picture's empty text is appended, the text link to the same address skipped,
        // and the empty item then goes as the first item.
        PassCase {"PictureThenTextSameAddressOnEmptyList", {}, {u"A|"_s, u"A|a"_s}, {}},
        PassCase {
            "PictureThenTextSameAddressBehindItem", {u"x"_s}, {u"A|"_s, u"A|a"_s}, {u"x"_s, E}},
        PassCase {"OneBackComparisonOnly",
                  {},
                  {u"A|1"_s, u"A|2"_s, u"B|3"_s, u"A|4"_s},
                  {u"1"_s, u"3"_s, u"4"_s}},
        // The filtered link still counts as the last appended address.
        PassCase {
            "FilteredLinkStillSetsLastAddress", {}, {u"A|新闻"_s, u"A|hot"_s, u"B|b"_s}, {u"b"_s}},
        PassCase {"CaseSensitiveAddresses", {}, {u"a|1"_s, u"A|2"_s}, {u"1"_s, u"2"_s}},
        PassCase {"NoLinksLeavesEvenAnEmptyHead", {E, u"x"_s}, {}, {E, u"x"_s}},
        PassCase {"StartingListIsSweptToo",
                  {u"贴吧"_s, u"新闻"_s, u"天气"_s},
                  {u"A|晴"_s},
                  {u"天气"_s, u"晴"_s}},
        // The list is emptied by a sweep and the pass goes on with the remaining links.
        PassCase {"EmptiedListDoesNotEndThePass", {}, {u"A| "_s, u"B|b"_s}, {u"b"_s}},
        PassCase {"OneSpaceThenEmptyThenText", {}, {u"A| "_s, u"B|"_s, u"C|c"_s}, {u"c"_s}},
        PassCase {"SpacesAndPicturesInside",
                  {},
                  {u"A|a"_s, u"B|"_s, u"C|  "_s, u"D| "_s, u"E|e"_s},
                  {u"a"_s, E, u"  "_s, u"e"_s}},
        PassCase {"EmptyHeadLeftByAnEditGoes", {E, E, u"x"_s}, {u"A|a"_s}, {u"x"_s, u"a"_s}}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(Pass, WithoutADocumentNothingChanges)
{
    KeywordListModel list;
    list.append(QStringList({E, u"新闻"_s}));
    HarvestPass pass(list);
    EXPECT_FALSE(pass.run(std::nullopt));
    EXPECT_EQ(list.items(), (QStringList {E, u"新闻"_s}));
}

TEST(Pass, TwoPassesOverOnePageAppendTwice)
{
    KeywordListModel list;
    HarvestPass pass(list);
    const PageLinks page = linksOf({u"A|a"_s, u"B|更多"_s, u"C|c"_s});
    pass.run(page);
    pass.run(page);
    EXPECT_EQ(list.items(), (QStringList {u"a"_s, u"c"_s, u"a"_s, u"c"_s}));
}

TEST(Pass, PagesBeyondSixteenBitsWork)
{
    PageLinks page;
    for (int i = 0; i < 40000; ++i)
        page.append({u"http://127.0.0.1/"_s + QString::number(i), QString::number(i)});
    KeywordListModel list;
    HarvestPass pass(list);
    pass.run(page);
    ASSERT_EQ(list.count(), 40000);
    EXPECT_EQ(list.itemAt(39999), u"39999");
}

// The pass looks only at what each link changed; the straightforward form sweeps the whole
// list after every link. Both must agree on any lists and pages, also when items are removed
// between passes (as the user does with a double-click) and an empty item comes to the head.
TEST(Pass, AgreesWithWholeListSweepsOnRandomPages)
{
    const QStringList texts {u"a"_s,    u"b"_s,   E,           u" "_s,        u"  "_s,   u"新闻"_s,
                             u"天气"_s, u"x<y"_s, u"Search"_s, u"贴吧热议"_s, u"更多"_s, u"c"_s};
    QRandomGenerator rng(20181010);
    for (int round = 0; round < 300; ++round) {
        QStringList start;
        for (int i = int(rng.bounded(6)); i > 0; --i)
            start.append(texts.at(rng.bounded(texts.size())));
        KeywordListModel fast;
        fast.append(QStringList(start));
        KeywordListModel reference;
        reference.append(QStringList(start));
        HarvestPass pass(fast);
        for (int page = 0; page < 3; ++page) {
            PageLinks links;
            for (int i = int(rng.bounded(12)); i > 0; --i)
                links.append(
                    {QString::number(rng.bounded(3)), texts.at(rng.bounded(texts.size()))});
            pass.run(links);
            harvestBySweeps(links, reference);
            ASSERT_EQ(fast.items(), reference.items()) << "round " << round << " page " << page;
            if (fast.count() > 0) {
                const qsizetype victim = rng.bounded(fast.count());
                fast.removeAt(victim);
                reference.removeAt(victim);
            }
        }
    }
}
