// The keyword list as the window shows it: appending to the model behind a shown list view,
// the longest the event loop is held up meanwhile, and the memory a keyword costs.
#include "core/keywordlistmodel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>

#include <benchmark/benchmark.h>

#include <malloc.h>

namespace {

QString keyword(int i)
{
    return QStringLiteral("热门关键字") + QString::number(10000 + i % 90000); // ten characters
}

// 100,000 items arrive as the harvest delivers them, a page of 1,000 at a time, with the event
// loop running between pages. `max_stall_ms` is the longest single step: one page appended
// or one round of the event loop (layout and painting included).
void BM_AppendToShownList(benchmark::State &state)
{
    const int perPage = int(state.range(0));
    double maxStallMs = 0;
    for (auto _ : state) {
        KeywordListModel model;
        QListView view;
        view.setUniformItemSizes(true);
        view.setLayoutMode(QListView::Batched);
        view.setModel(&model);
        view.resize(441, 112);
        view.show();
        QCoreApplication::processEvents();
        QElapsedTimer step;
        for (int done = 0; done < 100'000; done += perPage) {
            QStringList page;
            for (int i = 0; i < perPage; ++i)
                page.append(keyword(done + i));
            step.start();
            model.append(page);
            view.scrollToBottom();
            maxStallMs = std::max(maxStallMs, step.nsecsElapsed() / 1e6);
            step.start();
            QCoreApplication::processEvents();
            maxStallMs = std::max(maxStallMs, step.nsecsElapsed() / 1e6);
        }
    }
    state.counters["max_stall_ms"] = maxStallMs;
    state.SetItemsProcessed(state.iterations() * 100'000);
}

// Heap bytes per ten-character keyword beyond its 20 bytes of text.
void BM_MemoryPerKeyword(benchmark::State &state)
{
    double overhead = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        auto *model = new KeywordListModel;
        QStringList items;
        for (int i = 0; i < 1'000'000; ++i)
            items.append(keyword(i));
        model->append(items);
        items.clear();
        const size_t after = mallinfo2().uordblks;
        overhead = double(after - before) / 1e6 - 20.0;
        delete model;
    }
    state.counters["bytes_per_item_beyond_text"] = overhead;
}

} // namespace

BENCHMARK(BM_AppendToShownList)
    ->Arg(1000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_MemoryPerKeyword)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
