// The URL list operations on lists of 10,000 to 1,000,000 addresses, beside plain copies of a
// file of the same size: a rewrite should cost a small multiple of a copy.

#include "urlqueue/urllistfile.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <map>

namespace {

// n addresses of about 40 bytes, each ending in CR LF; every `blankEvery`-th line empty.
QByteArray listContent(qsizetype n, qsizetype blankEvery = 0)
{
    static std::map<std::pair<qsizetype, qsizetype>, QByteArray> cache;
    QByteArray &content = cache[{n, blankEvery}];
    if (content.isEmpty()) {
        content.reserve(n * 42);
        for (qsizetype i = 0; i < n; ++i) {
            if (blankEvery == 0 || i % blankEvery != 0) {
                content += "https://www.example.com/news/";
                content += QByteArray::number(i).rightJustified(9, '0');
            }
            content += "\r\n";
        }
    }
    return content;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

struct ListFixture
{
    explicit ListFixture(qsizetype lines, qsizetype blankEvery = 0)
        : list(dir.path(), TextEncoding(QByteArrayLiteral("UTF-8")))
        , content(listContent(lines, blankEvery))
    {
        writeFile(list.path(), content);
    }

    QTemporaryDir dir;
    UrlListFile list;
    QByteArray content;
};

void BM_CountUrlList(benchmark::State &state)
{
    ListFixture fixture(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture.list.CountUrlList());
    state.SetBytesProcessed(state.iterations() * fixture.content.size());
}

void BM_RotateUrlList(benchmark::State &state)
{
    // Each rotation leaves one more empty line at the top: the list a crawl works through.
    ListFixture fixture(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture.list.RotateUrlList());
    state.SetBytesProcessed(state.iterations() * fixture.content.size());
}

// Compaction of a list whose only change is the last CR LF (one run of unchanged lines), and
// of one with every other line empty (a crawl half way through).
void BM_CompactUrlList(benchmark::State &state, qsizetype blankEvery)
{
    ListFixture fixture(state.range(0), blankEvery);
    for (auto _ : state) {
        state.PauseTiming();
        writeFile(fixture.list.path(), fixture.content);
        state.ResumeTiming();
        fixture.list.CompactUrlList();
    }
    state.SetBytesProcessed(state.iterations() * fixture.content.size());
}

// The yardsticks: a file of the same size copied by QFile::copy, by read + write, and by
// read + write through QSaveFile (a temporary file, fsync, rename), as a rewrite does.
void BM_FileCopy(benchmark::State &state)
{
    ListFixture fixture(state.range(0));
    const QString copy = fixture.dir.filePath(QStringLiteral("copy.txt"));
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(copy);
        state.ResumeTiming();
        if (!QFile::copy(fixture.list.path(), copy))
            state.SkipWithError("copy failed");
    }
    state.SetBytesProcessed(state.iterations() * fixture.content.size());
}

void BM_ReadWriteCopy(benchmark::State &state)
{
    ListFixture fixture(state.range(0));
    const QString copy = fixture.dir.filePath(QStringLiteral("copy.txt"));
    for (auto _ : state) {
        QFile in(fixture.list.path());
        QFile out(copy);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            state.SkipWithError("open failed");
        const QByteArray bytes = in.readAll();
        out.write(bytes);
    }
    state.SetBytesProcessed(state.iterations() * fixture.content.size());
}

void BM_ReadSaveFileCopy(benchmark::State &state)
{
    ListFixture fixture(state.range(0));
    const QString copy = fixture.dir.filePath(QStringLiteral("copy.txt"));
    for (auto _ : state) {
        QFile in(fixture.list.path());
        QSaveFile out(copy);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            state.SkipWithError("open failed");
        out.write(in.readAll());
        if (!out.commit())
            state.SkipWithError("commit failed");
    }
    state.SetBytesProcessed(state.iterations() * fixture.content.size());
}

void sizes(benchmark::internal::Benchmark *benchmark)
{
    // Real time: a rewrite waits for the disk (fsync), which CPU time would not show.
    benchmark->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(BM_CountUrlList)->Apply(sizes);
BENCHMARK(BM_RotateUrlList)->Apply(sizes);
BENCHMARK_CAPTURE(BM_CompactUrlList, compact, 0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_CompactUrlList, halfEmpty, 2)->Apply(sizes);
BENCHMARK(BM_FileCopy)->Apply(sizes);
BENCHMARK(BM_ReadWriteCopy)->Apply(sizes);
BENCHMARK(BM_ReadSaveFileCopy)->Apply(sizes);

BENCHMARK_MAIN();
