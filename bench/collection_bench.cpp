// The harvest's collection of a page's links against the engine's own, and what a crawl costs
// on a busy page against a plain view of it.
//
// Collection, per page, in one run and one engine (and with 只取榜单, see BM_Collection): each side
// loads the page in a view of its own and waits until it has loaded, its script is done and it is
// laid out; then the clock starts. The sides take turns at going first. The limit is one
// runJavaScript of document.links as (href, innerText) pairs in a plain view; the harvest is
// BrowserPane::collectLinks. Memory is the peak resident size of this process and its engine
// processes above what they held when the clock started, sampled every 10 ms from a thread of
// its own; the stall is the longest gap of a 10 ms timer on the UI thread beyond its period.
//
// Busy page: a page redrawing every 16 ms, shown for 10 s in a plain view, against a pane that
// gets the address and harvests it 3 s later, as the crawl does. Its figure is the CPU time of
// this process and its engine processes. Pages come from the tests' loopback server.
#include "harvest/browserpane.h"
#include "harvest/hotlists.h"
#include "processtree.h"
#include "support/collect.h"
#include "support/guisupport.h"
#include "support/loopbackserver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QScopeGuard>
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

void spinFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

struct Page
{
    QByteArray html;
    QByteArray contentType = "text/html; charset=utf-8";
};

Page manyLinks(int count)
{
    Page page;
    page.html = "<!doctype html><meta charset=\"utf-8\"><body>";
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        page.html += "<p><a href=\"/k/" + n + "?q=" + n + "\">关键字 " + n + "</a>\n";
    }
    return page;
}

// One link of `length` characters of `unit` among two short ones, written in the HTML or set
// by the page's script once it has loaded. The link has a character of its own until then: an
// empty one that a script fills with millions of Chinese characters makes the engine's render
// process run out of memory (V8's "Oilpan: Reserving memory"), in a plain view as in the pane.
Page longText(const QString &unit, int length, bool byScript)
{
    Page page;
    page.html = "<!doctype html><meta charset=\"utf-8\"><body><p><a href=\"/a\">a</a>"
                "<p><a href=\"/long\">";
    if (byScript) {
        page.html += "-</a><p><a href=\"/b\">b</a><script>window.done = false; onload = () => {"
                     " document.links[1].textContent = '"
            + unit.toUtf8() + "'.repeat(" + QByteArray::number(length / unit.size())
            + "); window.done = true; };</script>";
    } else {
        page.html += unit.repeated(length / unit.size()).toUtf8() + "</a><p><a href=\"/b\">b</a>";
    }
    return page;
}

Page hotList(const char *file, const QByteArray &contentType = "text/html; charset=gb2312")
{
    QFile html(QStringLiteral(LEXHAUL_HOTLIST_DIR "/") + QString::fromLatin1(file));
    html.open(QIODevice::ReadOnly);
    return {html.readAll(), contentType};
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

// Sends the view to the page and waits until it has loaded, its script is done and it has been
// laid out. Left to the view's drawing, a heavy page is laid out at some time or other, and
// whichever side found it laid out would read innerText seconds sooner.
bool loadInto(QWebEngineView *view, const QUrl &url)
{
    bool loaded = false, gone = false;
    const QMetaObject::Connection connections[] = {
        QObject::connect(view, &QWebEngineView::loadFinished, view, [&](bool) { loaded = true; }),
        // A render process that dies leaves nothing to wait for.
        QObject::connect(view->page(), &QWebEnginePage::renderProcessTerminated, view,
                         [&] { gone = true; }),
    };
    const auto disconnect = qScopeGuard([&] {
        for (const auto &connection : connections)
            QObject::disconnect(connection);
    });
    // Both sides at the pane's size and place.
    view->setGeometry(BrowserPane::outOfView(view->parentWidget()->size()));
    view->show();
    if (auto *pane = qobject_cast<BrowserPane *>(view))
        pane->navigate(url.toString());
    else
        view->load(url);
    if (!spinUntil([&] { return loaded || gone; }, TimeoutMs) || gone)
        return false;
    std::optional<bool> done;
    const auto ask = [&] {
        view->page()->runJavaScript(u"window.done !== false && document.body.offsetHeight >= 0"_s,
                                    [&](const QVariant &value) { done = value.toBool(); });
    };
    for (ask(); spinUntil([&] { return done.has_value() || gone; }, TimeoutMs) && !gone && !*done;
         ask())
        done.reset(), spinFor(100);
    spinFor(500);
    return !gone && done.value_or(false);
}

struct Measured
{
    double seconds = 0, aboveIdleMiB = 0, stallMs = 0;
};

// With `listsOnly`, the harvest's side is the collection with the links' layout and the finding
// of the hot lists in it: all 只取榜单 adds before the pass.
void BM_Collection(benchmark::State &state, const Page &page, bool listsOnly)
{
    LoopbackServer server;
    server.serve(u"/page.html"_s, page.html, page.contentType);
    const QUrl url = server.url(u"/page.html"_s);
    QWidget window;
    window.setFixedSize(556, 312);
    window.show();

    for (auto _ : state) {
        Measured engine, harvest;
        PageLinks expected;
        LinkCollection collected;
        qsizetype listed = 0;
        double findingSeconds = 0;
        const std::function<bool()> engineSide = [&] {
            auto *view = new QWebEngineView(&window);
            std::optional<QVariant> rows;
            if (!loadInto(view, url))
                return false;
            Watch watch;
            view->page()->runJavaScript(
                u"Array.from(document.links, (a) => [a.href, a.innerText])"_s,
                [&](const QVariant &result) { rows = result; });
            const bool done = spinUntil([&] { return rows.has_value(); }, TimeoutMs);
            engine = {watch.seconds(), watch.aboveIdleMiB(), watch.stallMs()};
            delete view;
            return done && !(expected = fromRows(*rows)).isEmpty();
        };
        const std::function<bool()> harvestSide = [&] {
            auto *pane = new BrowserPane(&window);
            if (!loadInto(pane, url))
                return false;
            Watch watch;
            collected = collectNow(pane, TimeoutMs, {listsOnly});
            const double collectedAt = watch.seconds();
            if (collected.layout)
                listed = hotListLinks(collected.links, *collected.layout).size();
            findingSeconds = watch.seconds() - collectedAt;
            harvest = {watch.seconds(), watch.aboveIdleMiB(), watch.stallMs()};
            delete pane;
            return true;
        };
        // Each side goes first in every other repetition: whatever the engine still does for
        // the view before weighs on either side alike.
        static int repetition = 0;
        const bool harvestFirst = repetition++ % 2 == 1;
        bool ok = true;
        for (const auto &side :
             {harvestFirst ? harvestSide : engineSide, harvestFirst ? engineSide : harvestSide})
            ok = (spinFor(2000), side()) && ok;
        if (!ok) {
            state.SkipWithError("the page did not load (its render process died?), or the "
                                "engine collected no links");
            return;
        }
        // The engine's side reads no segments: a card's (address, text) is what both read.
        const auto plain = [](PageLinks links) {
            for (PageLink &link : links)
                link.segments.clear();
            return links;
        };
        if (collected.outcome != LinkCollection::Outcome::Collected
            || plain(collected.links) != expected) {
            state.SkipWithError("the harvest did not collect the page's links");
            return;
        }
        if (listsOnly && !collected.layout) {
            state.SkipWithError("the harvest collected no layout");
            return;
        }
        state.SetIterationTime(harvest.seconds);
        if (listsOnly) {
            state.counters["listed_links"] = double(listed);
            state.counters["finding_s"] = findingSeconds;
        }
        state.counters["engine_s"] = engine.seconds;
        state.counters["harvest_s"] = harvest.seconds;
        state.counters["time_ratio"] = harvest.seconds / engine.seconds;
        state.counters["engine_MiB"] = engine.aboveIdleMiB;
        state.counters["harvest_MiB"] = harvest.aboveIdleMiB;
        state.counters["memory_ratio"]
            = (harvest.aboveIdleMiB + 1) / (engine.aboveIdleMiB + 1); // +1: idle noise
        state.counters["engine_stall_ms"] = engine.stallMs;
        state.counters["harvest_stall_ms"] = harvest.stallMs;
    }
}

// CPU of this process and its engine over 10 s of a page redrawing every 16 ms.
void BM_BusyPage(benchmark::State &state)
{
    QByteArray html = "<!doctype html><meta charset=\"utf-8\"><body><p id=t>0</p>";
    for (int i = 0; i < 500; ++i)
        html += "<p><a href=\"/k/" + QByteArray::number(i) + "\">关键字 " + QByteArray::number(i)
            + "</a>";
    html += "<script>let n = 0; setInterval(() => { t.textContent = ++n; }, 16);</script>";
    LoopbackServer server;
    server.serve(u"/busy.html"_s, html);
    const QUrl url = server.url(u"/busy.html"_s);
    QWidget window;
    window.setFixedSize(556, 312);
    window.show();
    const auto cpuOver10s = [&](QWebEngineView *view, const std::function<void()> &at3s) {
        view->setGeometry(BrowserPane::outOfView(window.size()));
        view->show();
        const double before = treeCpuSeconds();
        if (auto *pane = qobject_cast<BrowserPane *>(view))
            pane->navigate(url.toString());
        else
            view->load(url);
        spinFor(3000);
        at3s();
        spinFor(7000);
        const double used = treeCpuSeconds() - before;
        delete view;
        return used / 10;
    };
    for (auto _ : state) {
        spinFor(2000);
        const double plain = cpuOver10s(new QWebEngineView(&window), [] {});
        spinFor(2000);
        auto *pane = new BrowserPane(&window);
        qsizetype harvested = 0;
        const double crawl
            = cpuOver10s(pane, [&] { harvested = collectNow(pane, TimeoutMs).links.size(); });
        if (harvested != 500) {
            state.SkipWithError("the harvest missed links");
            return;
        }
        state.SetIterationTime(crawl * 10);
        state.counters["plain_cpu_pct"] = plain * 100;
        state.counters["crawl_cpu_pct"] = crawl * 100;
        state.counters["cpu_ratio"] = crawl / plain;
    }
}

void registerPages()
{
    const auto add = [](const std::string &name, Page page, bool listsOnly = false) {
        benchmark::RegisterBenchmark(name.c_str(), BM_Collection, page, listsOnly)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    };
    add("BM_Collection/links_200000", manyLinks(200'000));
    add("BM_Collection/chinese_5000000_by_script", longText(u"热点关键字"_s, 5'000'000, true));
    add("BM_Collection/chinese_5000000_in_html", longText(u"热点关键字"_s, 5'000'000, false));
    add("BM_Collection/ascii_5000000", longText(u"hot keyword "_s, 5'000'000, false));
    add("BM_Collection/hotlist_buzz", hotList("baidu_top_buzz_b1_2018.html"));
    add("BM_Collection/hotlist_index", hotList("baidu_top_index_2018.html"));
    add("BM_Collection/lists_only/links_200000", manyLinks(200'000), true);
    // Today's layouts, collected as today and with 只取榜单.
    for (const char *name :
         {"board_realtime_2025", "board_home", "aggregator_home", "social_hot_topics", "movie_home",
          "qa_hot_list", "realtime_table", "movie_grid"})
        for (const bool listsOnly : {false, true})
            add(std::string(listsOnly ? "BM_Collection/lists_only/" : "BM_Collection/") + name,
                hotList((std::string(name) + ".html").c_str(), "text/html; charset=utf-8"),
                listsOnly);
    benchmark::RegisterBenchmark("BM_BusyPage/ticker_16ms_500_links", BM_BusyPage)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kSecond);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    allowLoopbackOnly();
    QLoggingCategory::setFilterRules(
        u"js=false\njs.*=false"_s); // the hot-list pages' own complaints
    registerPages();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
