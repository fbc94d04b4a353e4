// The mirror of a heavy page against the engine's own cost of handing over the same links.
//
// Per page, in one run and one engine: the limit is a plain view that loads the page and, once
// it has loaded, collects document.links as (href, innerText) pairs with one runJavaScript; the
// mirror is a BrowserPane sent to the same address, done when links() holds the complete list.
// Both are timed from the moment the address is sent. Memory is the peak resident size of this
// process and its engine processes above what they held just before, sampled every 10 ms from
// a thread of its own; the stall is the longest gap of a 10 ms timer on the UI thread beyond
// its period. Pages come from the tests' loopback server.
#include "harvest/browserpane.h"
#include "processtree.h"
#include "support/guisupport.h"
#include "support/loopbackserver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <benchmark/benchmark.h>

#include <atomic>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr int TimeoutMs = 120'000;

// The peak of treeResidentKiB() while it lives, sampled from its own thread, and the longest
// gap of a 10 ms timer on the UI thread.
class Watch
{
public:
    Watch()
        : m_idleKiB(treeResidentKiB())
        , m_peakKiB(m_idleKiB)
    {
        m_sampler = QThread::create([this] {
            while (!m_stop) {
                m_peakKiB = std::max<qint64>(m_peakKiB, treeResidentKiB());
                QThread::msleep(10);
            }
        });
        m_sampler->start();
        m_gap.start();
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            m_stallMs = std::max(m_stallMs, double(m_gap.nsecsElapsed()) / 1e6 - 10);
            m_gap.start();
        });
        m_tick.start(10);
        m_clock.start();
    }
    ~Watch()
    {
        m_stop = true;
        m_sampler->wait();
        delete m_sampler;
    }

    double seconds() const { return double(m_clock.nsecsElapsed()) / 1e9; }
    double aboveIdleMiB() const { return double(m_peakKiB - m_idleKiB) / 1024; }
    double stallMs() const { return m_stallMs; }

private:
    qint64 m_idleKiB;
    std::atomic<qint64> m_peakKiB;
    std::atomic<bool> m_stop = false;
    QThread *m_sampler = nullptr;
    QTimer m_tick;
    QElapsedTimer m_gap;
    QElapsedTimer m_clock;
    double m_stallMs = 0;
};

bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Lets the engine processes of the last view end and the memory settle.
void quiesce()
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

struct Page
{
    QByteArray html;
    PageLinks links; // empty: whatever the collection returns
    QByteArray contentType = "text/html; charset=utf-8";
};

Page manyLinks(const LoopbackServer &server, int count)
{
    Page page;
    page.html = "<!doctype html><meta charset=\"utf-8\"><body>";
    page.links.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        page.html += "<p><a href=\"/k/" + n + "?q=" + n + "\">关键字 " + n + "</a>\n";
        page.links.append({server.url(u"/k/%1?q=%1"_s.arg(i)).toString(), u"关键字 %1"_s.arg(i)});
    }
    return page;
}

Page longText(const LoopbackServer &server, int length)
{
    // Words of ASCII: the engine lays out millions of Chinese characters at about 30 us each,
    // which would leave nothing to compare but the layout.
    const QString unit = u"hot keyword "_s;
    QString text;
    text.reserve(length);
    while (text.size() < length)
        text += unit;
    text.truncate(length - 1);
    text += u'!';
    Page page;
    page.html = "<!doctype html><meta charset=\"utf-8\"><body><p><a href=\"/long\">" + text.toUtf8()
        + "</a>";
    page.links = {{server.url(u"/long"_s).toString(), text}};
    return page;
}

PageLinks fromRows(const QVariant &rows)
{
    PageLinks links;
    const QVariantList list = rows.toList();
    links.reserve(list.size());
    for (const QVariant &row : list)
        links.append({row.toList().value(0).toString(), row.toList().value(1).toString()});
    return links;
}

Page hotList(const char *file)
{
    QFile html(QStringLiteral(LEXHAUL_HOTLIST_DIR "/") + QString::fromLatin1(file));
    html.open(QIODevice::ReadOnly);
    return {html.readAll(), {}, "text/html; charset=gb2312"};
}

void BM_Mirror(benchmark::State &state, const std::function<Page(const LoopbackServer &)> &make)
{
    LoopbackServer server;
    Page page = make(server);
    server.serve(u"/page.html"_s, page.html, page.contentType);
    QWidget window;
    window.setFixedSize(556, 312);
    window.show();
    const auto place = [&](QWebEngineView *view) {
        view->setGeometry(16, 312, 2, 9);
        view->show();
    };

    for (auto _ : state) {
        quiesce();
        double collectionS = 0, collectionMiB = 0, collectionStallMs = 0;
        {
            auto *view = new QWebEngineView(&window);
            place(view);
            std::optional<QVariant> rows;
            Watch watch;
            QObject::connect(view, &QWebEngineView::loadFinished, view, [&](bool) {
                view->page()->runJavaScript(
                    u"Array.from(document.links, (a) => [a.href, a.innerText])"_s,
                    [&](const QVariant &result) { rows = result; });
            });
            view->load(server.url(u"/page.html"_s));
            const bool done = spinUntil([&] { return rows.has_value(); }, TimeoutMs);
            collectionS = watch.seconds();
            collectionMiB = watch.aboveIdleMiB();
            collectionStallMs = watch.stallMs();
            delete view;
            if (done && page.links.isEmpty())
                page.links = fromRows(*rows);
            if (!done || page.links.isEmpty() || fromRows(*rows) != page.links) {
                state.SkipWithError("the collection did not return the page's links");
                return;
            }
        }
        quiesce();
        double mirrorS = 0, mirrorMiB = 0, mirrorStallMs = 0;
        {
            auto *pane = new BrowserPane(&window);
            place(pane);
            bool whole = false;
            QObject::connect(pane, &BrowserPane::linksChanged, pane,
                             [&] { whole = whole || pane->links() == page.links; });
            Watch watch;
            pane->navigate(server.url(u"/page.html"_s).toString());
            const bool done = spinUntil([&] { return whole; }, TimeoutMs);
            mirrorS = watch.seconds();
            mirrorMiB = watch.aboveIdleMiB();
            mirrorStallMs = watch.stallMs();
            delete pane;
            if (!done) {
                state.SkipWithError("the mirror never held the page's links");
                return;
            }
        }
        state.SetIterationTime(mirrorS);
        state.counters["collection_s"] = collectionS;
        state.counters["mirror_s"] = mirrorS;
        state.counters["time_ratio"] = mirrorS / collectionS;
        state.counters["collection_MiB"] = collectionMiB;
        state.counters["mirror_MiB"] = mirrorMiB;
        state.counters["memory_ratio"] = mirrorMiB / collectionMiB;
        state.counters["collection_stall_ms"] = collectionStallMs;
        state.counters["mirror_stall_ms"] = mirrorStallMs;
    }
}
void registerPages()
{
    const auto add = [](const char *name, std::function<Page(const LoopbackServer &)> make) {
        benchmark::RegisterBenchmark(name, BM_Mirror, make)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
    };
    add("BM_Mirror/links_40000", [](const LoopbackServer &s) { return manyLinks(s, 40'000); });
    add("BM_Mirror/links_200000", [](const LoopbackServer &s) { return manyLinks(s, 200'000); });
    add("BM_Mirror/text_5000000", [](const LoopbackServer &s) { return longText(s, 5'000'000); });
    add("BM_Mirror/hotlist_buzz",
        [](const LoopbackServer &) { return hotList("baidu_top_buzz_b1_2018.html"); });
    add("BM_Mirror/hotlist_index",
        [](const LoopbackServer &) { return hotList("baidu_top_index_2018.html"); });
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    allowLoopbackOnly();
    QLoggingCategory::setFilterRules(u"js.*=false"_s); // the hot-list pages' own complaints
    registerPages();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
