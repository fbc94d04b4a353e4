// A long batch run: the resident memory of the program with its engine processes after page
// 30 and after page 300 of one run, at a shortened pacing over a real hot-list page served
// from 127.0.0.1 under 300 addresses. A run that keeps something per page shows as growth.
#include "app/batchconsole.h"
#include "app/batchrun.h"
#include "processtree.h"
#include "support/guisupport.h"
#include "support/loopbackserver.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

constexpr int Pages = 300;
constexpr CrawlPacing Brisk {400, 100, 100, 4, 1, 4};

void BM_BatchRunResidentMemory(benchmark::State &state)
{
    QFile hotlist(QStringLiteral(LEXHAUL_HOTLIST_DIR "/baidu_top_buzz_b1_2018.html"));
    if (!hotlist.open(QIODevice::ReadOnly)) {
        state.SkipWithError("hot-list page missing");
        return;
    }
    const QByteArray page = hotlist.readAll();
    for (auto _ : state) {
        LoopbackServer server;
        QByteArray urlList;
        for (int i = 1; i <= Pages; ++i) {
            const QString path = QStringLiteral("/hot/%1.html").arg(i);
            server.serve(path, page, "text/html; charset=gb2312");
            urlList += server.url(path).toEncoded() + "\r\n";
        }
        QTemporaryDir dir;
        QFile list(dir.filePath(QStringLiteral("抓关键字网址.txt")));
        list.open(QIODevice::WriteOnly);
        list.write(urlList);
        list.close();

        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        const TextEncoding utf8("UTF-8");
        BatchConsole console(out, err, false, utf8);
        BatchRun run(dir.path(), utf8, console, Brisk);
        qint64 after30 = 0;
        qint64 after300 = 0;
        QTimer sample;
        QObject::connect(&sample, &QTimer::timeout, [&] {
            if (!after30 && out.data().contains("抓取第30个网址"))
                after30 = treeResidentKiB();
            if (!after300 && out.data().contains("抓取第300个网址"))
                after300 = treeResidentKiB();
        });
        sample.start(10);
        if (run.exec() != 0) {
            state.SkipWithError("the batch run failed");
            return;
        }
        state.counters["resident_after_30_MiB"] = double(after30) / 1024;
        state.counters["resident_after_300_MiB"] = double(after300) / 1024;
        state.counters["growth_percent"] = 100.0 * double(after300 - after30) / double(after30);
        state.counters["keywords"] = double(run.keywords().count());
    }
}
BENCHMARK(BM_BatchRunResidentMemory)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    allowLoopbackOnly();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
