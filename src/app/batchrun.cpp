#include "app/batchrun.h"

#include "app/batchconsole.h"
#include "app/commandline.h"
#include "app/program.h"
#include "app/shutdownsignals.h"
#include "core/fileerror.h"
#include "crawl/progresstext.h"
#include "harvest/browserpane.h"

#include <QDir>
#include <QWidget>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

QString signalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGINT:
        return u"SIGINT"_s;
    case SIGTERM:
        return u"SIGTERM"_s;
    case SIGHUP:
        return u"SIGHUP"_s;
    default:
        return u"信号 %1"_s.arg(signalNumber);
    }
}

} // namespace

BatchRun::BatchRun(const QString &directory, const TextEncoding &encoding, BatchConsole &console,
                   const BatchPacing &pacing, const CrawlOptions &options, QObject *parent)
    : QObject(parent)
    , m_crawl(directory, encoding, options)
    , m_console(console)
    , m_pacing(pacing)
{
    connect(&m_checks, &QTimer::timeout, this, &BatchRun::check);
    m_wait.setSingleShot(true);
    connect(&m_wait, &QTimer::timeout, this, [this] {
        if (!m_closed)
            std::exchange(m_afterWait, {})();
    });
}

BatchRun::~BatchRun() = default;

int BatchRun::exec()
{
    // From the start: a stop asked for at any moment is handled the same way.
    m_signals = std::make_unique<ShutdownSignals>();
    connect(m_signals.get(), &ShutdownSignals::received, this, [this](int signalNumber) {
        finish(ExitStatus::SignalBase + signalNumber,
               u"收到 %1，已停止"_s.arg(signalName(signalNumber)));
    });
    try {
        m_crawl.start();
    } catch (const FileError &error) {
        m_console.error(error.message());
        return ExitStatus::Failed;
    }
    // Nothing is written on account of a history that cannot be kept.
    if (m_crawl.historyError()) {
        m_console.error(m_crawl.historyError()->message());
        return ExitStatus::Failed;
    }
    m_crawl.setWritesEveryPage();
    const FilterPhraseFile &filters = m_crawl.ownFilters();
    if (!filters.error.isEmpty())
        m_console.error(filters.error);
    // Only the engine knows which selectors it takes.
    if (!m_crawl.listRules().rules.isEmpty()) {
        createBrowser();
        checkListRules(m_crawl, *m_browser, RealCrawlPacing.collectTimeoutMs);
    }
    const ListRuleFile &rules = m_crawl.listRules();
    if (const QString report = rules.report(); !report.isEmpty())
        m_console.error(report);
    // A log should say which filters and rules a run's keywords went through.
    const QString own
        = (filters.present ? u"，另加%1个过滤关键字"_s.arg(filters.phrases.size()) : QString())
        + (rules.present ? u"，使用%1条榜单规则"_s.arg(rules.rules.size()) : QString());
    m_console.line(u"共抓取"_s + QString::number(m_crawl.urlTotal()) + u"网址"_s + own);
    // The window would wait for a user forever; a scheduled job must end.
    if (m_crawl.urlTotal() == 0)
        return ExitStatus::Done;

    createBrowser();
    m_clock.start();
    nextAddress();
    if (m_closed)
        return m_status;
    return m_loop.exec();
}

void BatchRun::createBrowser()
{
    if (m_browser)
        return;
    // Placed in a window of the main window's size, as there, and shown: pages see the same
    // viewport and see themselves shown, with animation frames and timers running as in the
    // window. A batch run uses the offscreen platform, so nothing reaches a screen.
    m_host = std::make_unique<QWidget>();
    m_host->setFixedSize(556, 312);
    m_browser = new BrowserPane(m_host.get());
    m_browser->setObjectName(u"WebBrowser1"_s);
    m_browser->setGeometry(BrowserPane::outOfView(m_host->size()));
    m_host->show();
}

void BatchRun::nextAddress()
{
    QString address;
    try {
        if (!m_crawl.urlList().exists())
            throw FileError(u"无法继续抓取"_s, QDir::toNativeSeparators(m_crawl.urlList().path()),
                            u"网址文件已不存在"_s);
        address = m_crawl.rotate();
    } catch (const FileError &error) {
        // Nobody is there to put the list back.
        m_console.error(error.message());
        finish(ExitStatus::Failed, u"抓取中止"_s);
        return;
    }
    // Lines, but only empty ones: there is nothing to wait for.
    if (address.isEmpty()) {
        finish(ExitStatus::Done, u"网址文件中没有网址"_s);
        return;
    }
    m_address = address;
    m_attempt = 0;
    m_sentAt.start();
    send();
}

void BatchRun::send()
{
    ++m_attempt;
    ++m_generation;
    m_asking = false;
    m_attemptAt.start();
    if (!m_browser->navigate(m_address)) {
        fail({u"网址无效"_s, false});
        return;
    }
    m_checks.start(m_pacing.checkMs);
}

void BatchRun::check()
{
    const PageLoad load = m_browser->pageLoad();
    if (const auto failure = loadFailure(load)) {
        m_checks.stop();
        fail(*failure);
        return;
    }
    if (m_attemptAt.elapsed() >= qint64(m_pacing.timeoutSeconds * 1000)) {
        m_checks.stop();
        atTimeout();
        return;
    }
    if (load.stage != PageLoad::Stage::Loaded || m_asking)
        return;
    m_asking = true;
    m_browser->askLinksQuietMs([this, generation = m_generation](std::optional<int> quietMs) {
        if (generation != m_generation || m_closed)
            return;
        m_asking = false;
        if (!quietMs || *quietMs < m_pacing.quietMs
            || m_sentAt.elapsed() < qint64(m_pacing.earliestHarvestSeconds() * 1000))
            return;
        m_checks.stop();
        harvest(false, RealCrawlPacing.collectTimeoutMs);
    });
}

void BatchRun::atTimeout()
{
    // A document that has left a question unanswered this long is most likely stuck in a
    // script that never yields: it gets one more short chance (a busy machine is slow too),
    // and then fails. The pane replaces its renderer when it is sent to the next address.
    harvest(true,
            m_browser->unansweredFor(m_pacing.unresponsiveMs) ? m_pacing.unresponsiveMs
                                                              : RealCrawlPacing.collectTimeoutMs);
}

void BatchRun::harvest(bool timedOut, int waitMs)
{
    ++m_generation; // no other question about this page counts now
    m_browser->collectLinks(m_crawl.collectionFor(m_address), waitMs,
                            [this, timedOut](const LinkCollection &collected) {
                                if (!m_closed)
                                    harvested(timedOut, collected);
                            });
}

void BatchRun::harvested(bool timedOut, const LinkCollection &collected)
{
    const PageHarvest page = m_crawl.harvest(m_address, m_browser->pageLoad(), collected);
    if (page.failure)
        fail(*page.failure);
    else if (page.harvested)
        pageDone(u"新增%1个关键字"_s.arg(page.appended.size())
                     + (timedOut ? u"（超时，网页到时仍未加载完或链接仍在变化，按当时的内容抓取）"_s
                                 : QString()),
                 page.appended);
}

void BatchRun::fail(const PageFailure &failure)
{
    if (m_closed) // stopped while the renderer was being replaced
        return;
    const QString &reason = failure.reason;
    if (failure.passing && m_attempt == 1) {
        after(m_pacing.retryDelayMs, [this] { send(); });
        return;
    }
    ++m_failedPages;
    m_console.error(u"无法打开网页 %1：%2"_s.arg(m_address, reason));
    pageDone(u"无法打开：%1"_s.arg(reason));
}

void BatchRun::pageDone(const QString &outcome, const QStringList &appended)
{
    const bool target = m_crawl.countPage();
    writeKeywords(appended);
    if (m_historyFailed) {
        finish(ExitStatus::Failed, u"关键字历史出错，抓取中止"_s);
        return;
    }
    const qint64 count = m_crawl.roundCount();
    m_console.progress(count, m_crawl.urlTotal(), ProgressText(count), m_address, outcome,
                       m_clock.elapsed() / count);
    if (target) {
        finish(m_failedPages > 0 ? ExitStatus::SomePagesFailed : ExitStatus::Done,
               u"已经全部抓取"_s);
        return;
    }
    const qint64 interval = qint64(m_pacing.intervalSeconds * 1000);
    after(int(std::max<qint64>(interval - m_sentAt.elapsed(), 0)), [this] { nextAddress(); });
}

void BatchRun::after(int ms, const std::function<void()> &action)
{
    m_afterWait = action;
    m_wait.start(ms);
}

bool BatchRun::writeKeywords(const QStringList &appended)
{
    try {
        m_crawl.writePage(m_address, appended);
        return true;
    } catch (const FileError &error) {
        m_console.error(error.message());
        // A history that fails is no ground for writing on: the run ends.
        m_historyFailed = m_crawl.historyError().has_value();
        if (!m_historyFailed)
            m_console.error(
                u"%1个关键字尚未写入，下次抓取后再试。"_s.arg(m_crawl.unwrittenCount()));
        return false;
    }
}

void BatchRun::finish(int status, const QString &outcome)
{
    if (m_closed)
        return;
    m_closed = true;
    m_checks.stop();
    m_wait.stop();
    if (m_browser)
        m_browser->cancelCollection();
    if (m_historyFailed || !writeKeywords({})) {
        if (m_crawl.unwrittenCount() > 0)
            m_console.error(u"%1个关键字未能写入 %2，已丢失。"_s.arg(m_crawl.unwrittenCount())
                                .arg(m_crawl.keywordFile().path()));
        if (status < ExitStatus::SignalBase)
            status = ExitStatus::Failed;
    }
    // As the window does on close: the next run starts with the address that would have
    // come next.
    try {
        m_crawl.urlList().CompactUrlList();
    } catch (const FileError &error) {
        m_console.error(error.message());
        if (status == ExitStatus::Done || status == ExitStatus::SomePagesFailed)
            status = ExitStatus::Failed;
    }
    QString last = u"%1，共抓取%2个网址，%3个%4关键字已写入 %5"_s.arg(outcome)
                       .arg(m_crawl.roundCount())
                       .arg(m_crawl.writtenCount())
                       .arg(m_crawl.options().newOnly ? u"新"_s : QString())
                       .arg(m_crawl.keywordFile().path());
    if (m_crawl.options().newOnly)
        last += u"，%1个以前已写入过，未再写入"_s.arg(m_crawl.knownCount());
    if (m_failedPages > 0)
        last += u"，%1个网址无法打开"_s.arg(m_failedPages);
    m_console.line(last);
    m_status = status;
    m_loop.exit(status);
}
