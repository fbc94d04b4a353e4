// Exporting a keyword list of a million items to the keyword file.
#include "output/keywordexport.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void BM_ExportMillionItems(benchmark::State &state, const char *encoding)
{
    QStringList items;
    items.reserve(1'000'000);
    for (int i = 0; i < 1'000'000; ++i)
        items.append(QStringLiteral("热门关键字") + QString::number(10000 + i % 90000));
    QTemporaryDir dir;
    const KeywordFile file(dir.path(), TextEncoding(encoding));
    for (auto _ : state) {
        file.append(items);
        state.PauseTiming();
        QFile::remove(file.path());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * items.size());
}

} // namespace

BENCHMARK_CAPTURE(BM_ExportMillionItems, utf8, "UTF-8")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportMillionItems, gbk, "GBK")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
