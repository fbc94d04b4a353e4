// The harvest pass over a 1,000-link page onto keyword lists of growing length, beside the
// straightforward pass that sweeps the whole list after every link; and with 10,000 filter
// phrases of the user's own.
#include "core/keywordlistmodel.h"
#include "harvest/harvestpass.h"
#include "harvest/hotlists.h"
#include "support/harvestreference.h"

#include <QRandomGenerator>

#include <benchmark/benchmark.h>

namespace {

QString keyword(int i)
{
    // Ten characters, like the hot-list keywords.
    return QStringLiteral("热门关键字") + QString::number(10000 + i % 90000);
}

// A hot-list page: keyword links each followed by an icon link to the same address, and a few
// navigation links the filters remove.
PageLinks hotListPage(int links)
{
    PageLinks page;
    for (int i = 0; page.size() < links; ++i) {
        const QString address = QStringLiteral("http://127.0.0.1/s?wd=") + QString::number(i);
        page.append({address, keyword(i)});
        page.append({address, QString()});
        if (i % 10 == 0)
            page.append({QStringLiteral("http://127.0.0.1/news/") + QString::number(i),
                         QStringLiteral("新闻")});
    }
    page.resize(links);
    return page;
}

void fillList(KeywordListModel &list, qsizetype size)
{
    QStringList items;
    items.reserve(size);
    for (qsizetype i = 0; i < size; ++i)
        items.append(keyword(int(i)));
    list.append(items);
}

template<typename Pass>
void runPass(benchmark::State &state, Pass &&pass, KeywordListModel &list)
{
    const PageLinks page = hotListPage(1000);
    const qsizetype before = list.count();
    for (auto _ : state) {
        pass(page);
        state.PauseTiming();
        list.removeRange(before, list.count() - before);
        state.ResumeTiming();
    }
    state.counters["list"] = double(before);
    state.SetItemsProcessed(state.iterations() * page.size());
}

void BM_HarvestPass(benchmark::State &state)
{
    KeywordListModel list;
    fillList(list, state.range(0));
    HarvestPass pass(list);
    runPass(
        state, [&](const PageLinks &page) { pass.run(page); }, list);
}

// Phrases of two to six CJK characters, as a user's list of a site's navigation would be.
QStringList ownPhrases(int count)
{
    QRandomGenerator random(2021);
    QStringList phrases;
    for (int i = 0; i < count; ++i) {
        QString phrase;
        for (int n = random.bounded(2, 7); n > 0; --n)
            phrase += QChar(char16_t(random.bounded(0x4e00, 0x9fa6)));
        phrases.append(phrase);
    }
    return phrases;
}

void BM_HarvestPassOwnPhrases(benchmark::State &state)
{
    KeywordListModel list;
    fillList(list, 10'000);
    HarvestPass pass(list);
    pass.setOwnPhrases(ownPhrases(int(state.range(0))));
    runPass(
        state, [&](const PageLinks &page) { pass.run(page); }, list);
    state.counters["phrases"] = double(state.range(0));
}

void BM_StraightforwardPass(benchmark::State &state)
{
    KeywordListModel list;
    fillList(list, state.range(0));
    runPass(
        state, [&](const PageLinks &page) { harvestBySweeps(page, list); }, list);
}

} // namespace

BENCHMARK(BM_HarvestPass)
    ->Arg(0)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HarvestPassOwnPhrases)->Arg(10'000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StraightforwardPass)
    ->Arg(0)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// 只取榜单's finding of the hot lists over the layout of the collection's largest page, 200,000
// links each in a paragraph of its own: one group, which reads as labels and is no list.
void BM_HotListsFlat(benchmark::State &state)
{
    const int count = int(state.range(0));
    PageLinks links;
    LinkLayout layout {
        {},
        {},
        {QStringLiteral("A"), QStringLiteral("P"), QStringLiteral("BODY"), QStringLiteral("HTML")}};
    for (int i = 0; i < count; ++i) {
        links.append({QStringLiteral("http://127.0.0.1/k/%1?q=%1").arg(i),
                      QStringLiteral("关键字 %1").arg(i)});
        layout.parents.append(count + 2 + i);
        layout.kinds.append(0);
    }
    layout.parents.append({-1, count});
    layout.kinds.append({3, 2});
    for (int i = 0; i < count; ++i) {
        layout.parents.append(count + 1);
        layout.kinds.append(1);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(hotListLinks(links, layout));
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_HotListsFlat)->Arg(200'000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
