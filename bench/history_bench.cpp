// The keyword history at a million keywords: one harvested page recorded and filtered for
// new keywords, the whole history read as CSV, and the file's size per keyword.
#include "history/keywordhistory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int HistorySize = 1'000'000;
// Keywords the harvests add beyond the million.
qint64 added = 0;

// A hot-list title of 8 to 15 Chinese characters, different for every n. The numbers are
// spread, so that the keywords reach the history in no order of their text, as a board's do.
QString keyword(qint64 n)
{
    quint64 state = quint64(n) * 6364136223846793005ULL + 1442695040888963407ULL;
    const auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return quint32(state >> 33);
    };
    QString text;
    const int length = 8 + int(next() % 8);
    for (int i = 0; i < length; ++i)
        text += QChar(char16_t(0x4e00 + next() % 20000));
    // Makes it unique: the characters alone might meet again among a million.
    return text + QString::number(n % 1000);
}

QString board(qint64 n)
{
    return u"https://top.example.com/board?tab=realtime&page=%1"_s.arg(n % 20);
}

// Resident memory, from /proc.
double residentMiB()
{
    QFile status(u"/proc/self/status"_s);
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}

// One folder with a history of a million keywords, built once for every benchmark in a
// child process, so that the memory counted below is a crawl's alone.
const QTemporaryDir &historyDir()
{
    static QTemporaryDir dir;
    static bool built = false;
    if (built)
        return dir;
    built = true;
    const pid_t child = ::fork();
    if (child == 0) {
        KeywordHistory history(dir.path(), true);
        const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-30);
        constexpr int PageSize = 10'000;
        for (int page = 0; page < HistorySize / PageSize; ++page) {
            QStringList keywords;
            keywords.reserve(PageSize);
            for (int i = 0; i < PageSize; ++i)
                keywords.append(keyword(qint64(page) * PageSize + i));
            history.record({board(page), keywords, keywords, true, page + 1},
                           start.addSecs(page * 600));
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        qFatal("building the history failed");
    return dir;
}

// One harvest of a 1,000-keyword page as a new-only crawl makes it: recorded, which gives
// the keywords new to the keyword file, and those marked written, in one transaction.
// Returns milliseconds.
double harvest(KeywordHistory &history, const QStringList &page)
{
    static qint64 fileSize = 0;
    QElapsedTimer timer;
    timer.start();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QStringList fresh = history.record({board(added), page, page, true, ++fileSize}, now);
    benchmark::DoNotOptimize(fresh.size());
    return double(timer.nsecsElapsed()) / 1e6;
}

// The mean hides what a harvest usually costs: every few pages one also copies the
// write-ahead log back into the file.
void countHarvests(benchmark::State &state, std::vector<double> &milliseconds)
{
    std::sort(milliseconds.begin(), milliseconds.end());
    state.counters["median_ms"] = milliseconds[milliseconds.size() / 2];
    state.counters["p90_ms"] = milliseconds[milliseconds.size() * 9 / 10];
    state.counters["max_ms"] = milliseconds.back();
}

// The board harvested again and again, as a crawl does: each time 100 of its 1,000 keywords
// are new, the rest stood on it before. It starts from the last 1,000 the history got.
void BM_HarvestBoard(benchmark::State &state)
{
    const QString directory = historyDir().path();
    const double before = residentMiB();
    KeywordHistory history(directory, false);
    QRandomGenerator random(7);
    std::vector<double> milliseconds;
    QStringList page;
    for (int i = HistorySize - 1000; i < HistorySize; ++i)
        page.append(keyword(i));
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 100; ++i)
            page[random.bounded(1000)] = keyword(HistorySize + added++);
        state.ResumeTiming();
        milliseconds.push_back(harvest(history, page));
    }
    countHarvests(state, milliseconds);
    state.counters["rss_growth_MiB"] = residentMiB() - before;
}

// The worst case: 1,000 keywords picked at random from the whole history, each on a page of
// the file of its own.
void BM_HarvestScattered(benchmark::State &state)
{
    KeywordHistory history(historyDir().path(), false);
    QRandomGenerator random(11);
    std::vector<double> milliseconds;
    for (auto _ : state) {
        state.PauseTiming();
        QStringList page;
        for (int i = 0; i < 1000; ++i)
            page.append(keyword(random.bounded(HistorySize)));
        state.ResumeTiming();
        milliseconds.push_back(harvest(history, page));
    }
    countHarvests(state, milliseconds);
}

void BM_WriteCsv(benchmark::State &state)
{
    const QString directory = historyDir().path();
    QFile out(u"/dev/null"_s);
    out.open(QIODevice::WriteOnly);
    for (auto _ : state)
        KeywordHistory::writeCsv(directory, out);
    // Every connection is closed: the write-ahead log is back in the file.
    const QString path = QFileInfo(directory + u'/' + KeywordHistory::fileName()).filePath();
    state.counters["bytes_per_keyword"]
        = double(QFileInfo(path).size() + QFileInfo(path + u"-wal"_s).size())
        / double(HistorySize + added);
}

} // namespace

BENCHMARK(BM_HarvestBoard)->Unit(benchmark::kMillisecond)->Iterations(200)->Repetitions(3);
BENCHMARK(BM_HarvestScattered)->Unit(benchmark::kMillisecond)->Iterations(100)->Repetitions(3);
BENCHMARK(BM_WriteCsv)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
