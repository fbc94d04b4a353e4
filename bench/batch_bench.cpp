// Batch runs over pages served from 127.0.0.1, with --interval 0 (each address as soon as the
// page before is harvested):
// - memory: the resident memory of the program with its engine processes after page 30 and
//   after page 300 of one run over a real hot-list page under 300 addresses. A run that keeps
//   something per page shows as growth;
// - pace: 100 addresses whose server answers after 0.2 to 2 s, against the limit of a plain
//   view that loads the same pages one after another and waits the quiet spell after each.
#include "app/batchconsole.h"
#include "app/batchrun.h"
#include "processtree.h"
#include "support/guisupport.h"
#include "support/loopbackserver.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>

#include <benchmark/benchmark.h>

namespace {

constexpr int Pages = 300;
constexpr BatchPacing Brisk {0};

// A batch run over `urls` in a directory of its own; its standard output in `out`.
struct Run
{
    Run(const QList<QUrl> &urls)
    {
        QFile list(dir.filePath(QStringLiteral("抓关键字网址.txt")));
        list.open(QIODevice::WriteOnly);
        for (const QUrl &url : urls)
            list.write(url.toEncoded() + "\r\n");
        list.close();
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
    }
    int exec() { return batch.exec(); }

    QTemporaryDir dir;
    QBuffer out;
    QBuffer err;
    const TextEncoding utf8 {"UTF-8"};
    BatchConsole console {out, err, false, utf8};
    BatchRun batch {dir.path(), utf8, console, Brisk};
};

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
        QList<QUrl> urls;
        for (int i = 1; i <= Pages; ++i) {
            const QString path = QStringLiteral("/hot/%1.html").arg(i);
            server.serve(path, page, "text/html; charset=gb2312");
            urls.append(server.url(path));
        }
        Run run(urls);
        const QBuffer &out = run.out;
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
            state.SkipWithError(
                QByteArray("the batch run failed: " + run.err.data().right(300)).constData());
            return;
        }
        if (!after300) // the run ends right after its last line
            after300 = treeResidentKiB();
        state.counters["resident_after_30_MiB"] = double(after30) / 1024;
        state.counters["resident_after_300_MiB"] = double(after300) / 1024;
        state.counters["growth_percent"] = 100.0 * double(after300 - after30) / double(after30);
    }
}
BENCHMARK(BM_BatchRunResidentMemory)->Iterations(1)->Unit(benchmark::kSecond);

void BM_BatchRunPace(benchmark::State &state)
{
    constexpr int Addresses = 100;
    LoopbackServer server;
    QList<QUrl> urls;
    for (int i = 0; i < Addresses; ++i) {
        const QString path = QStringLiteral("/slow/%1.html").arg(i);
        const QByteArray html = "<meta charset=utf-8><a href=/k/" + QByteArray::number(i)
            + ">关键字" + QByteArray::number(i) + "</a>";
        server.serve(path, html, "text/html; charset=utf-8", 200 + i * 1800 / (Addresses - 1));
        urls.append(server.url(path));
    }
    for (auto _ : state) {
        // The limit: each page loaded, then the quiet spell.
        QElapsedTimer clock;
        clock.start();
        {
            QWidget window;
            window.setFixedSize(556, 312);
            auto *view = new QWebEngineView(&window);
            view->setGeometry(16, 312, 2, 9);
            window.show();
            for (const QUrl &url : urls) {
                bool loaded = false;
                const auto connection = QObject::connect(view, &QWebEngineView::loadFinished,
                                                         [&](bool) { loaded = true; });
                view->load(url);
                while (!loaded)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
                QObject::disconnect(connection);
                QElapsedTimer quiet;
                quiet.start();
                while (quiet.elapsed() < Brisk.quietMs)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            }
        }
        const double limitS = double(clock.elapsed()) / 1000;

        Run run(urls);
        clock.start();
        if (run.exec() != 0) {
            state.SkipWithError(
                QByteArray("the batch run failed: " + run.err.data().right(300)).constData());
            return;
        }
        const double runS = double(clock.elapsed()) / 1000;
        state.SetIterationTime(runS);
        state.counters["limit_s"] = limitS;
        state.counters["run_s"] = runS;
        state.counters["ratio"] = runS / limitS;
    }
}
BENCHMARK(BM_BatchRunPace)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

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
