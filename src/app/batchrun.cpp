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

struct LoadFailure
{
    QString reason;
    bool passing; // may be gone on a second try
};

// Why a load failed, in words, from the engine's own error: an HTTP status, or one of the
// network errors the engine numbers (net_error_list.h in its sources).
LoadFailure describe(const PageLoad &load)
{
    // Out of memory, most likely: another try may fare better.
    if (load.stage == PageLoad::Stage::Crashed)
        return {u"页面崩溃"_s, true};
    const int code = load.errorCode;
    if (load.errorDomain == QWebEngineLoadingInfo::HttpStatusCodeDomain)
        return {u"HTTP %1"_s.arg(code), code >= 500 || code == 429};
    switch (code) {
    case -7:
    case -118:
        return {u"超时"_s, true};
    case -20:
        return {u"被拦截"_s, false};
    case -21:
        return {u"网络已改变"_s, true};
    case -100:
        return {u"连接被关闭"_s, true};
    case -101:
        return {u"连接被重置"_s, true};
    case -102:
        return {u"连接被拒绝"_s, true};
    case -105:
    case -137:
        return {u"找不到服务器"_s, true};
    case -106:
        return {u"网络已断开"_s, true};
    case -109:
        return {u"无法访问该地址"_s, true};
    case -300:
        return {u"网址无效"_s, false};
    case -301:
    case -302:
        return {u"不支持这种网址"_s, false};
    case -311:
    case -312:
        return {u"端口不安全"_s, false};
    case -324:
        return {u"服务器没有返回任何数据"_s, true};
    default:
        break;
    }
    if (load.errorDomain == QWebEngineLoadingInfo::CertificateErrorDomain
        || (code <= -200 && code > -300))
        return {u"证书错误（%1）"_s.arg(code), false};
    // The engine's range of connection errors.
    return {u"网络错误（%1）"_s.arg(code), code <= -100 && code > -200};
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
    m_browser->setGeometry(16, 312, 2, 9);
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
        fail(u"网址无效"_s, false);
        return;
    }
    m_checks.start(m_pacing.checkMs);
}

void BatchRun::check()
{
    const PageLoad load = m_browser->pageLoad();
    if (load.stage == PageLoad::Stage::Failed || load.stage == PageLoad::Stage::Crashed) {
        m_checks.stop();
        const LoadFailure failure = describe(load);
        fail(failure.reason, failure.passing);
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
    switch (collected.outcome) {
    case LinkCollection::Outcome::Collected: {
        const qsizetype added = m_crawl.harvest(m_address, collected).appended.size();
        pageDone(u"新增%1个关键字"_s.arg(added)
                 + (timedOut ? u"（超时，网页到时仍未加载完或链接仍在变化，按当时的内容抓取）"_s
                             : QString()));
        return;
    }
    case LinkCollection::Outcome::NoDocument: {
        // Nothing of the address has arrived, or its renderer has gone while it was asked.
        const PageLoad load = m_browser->pageLoad();
        fail(load.stage == PageLoad::Stage::Crashed ? describe(load).reason : u"超时"_s, true);
        return;
    }
    case LinkCollection::Outcome::NoAnswer:
        fail(u"页面无响应"_s, false);
        return;
    case LinkCollection::Outcome::Abandoned:
        return;
    }
}

void BatchRun::fail(const QString &reason, bool retry)
{
    if (m_closed) // stopped while the renderer was being replaced
        return;
    if (retry && m_attempt == 1) {
        after(m_pacing.retryDelayMs, [this] { send(); });
        return;
    }
    ++m_failedPages;
    m_console.error(u"无法打开网页 %1：%2"_s.arg(m_address, reason));
    pageDone(u"无法打开：%1"_s.arg(reason));
}

void BatchRun::pageDone(const QString &outcome)
{
    const bool target = m_crawl.countPage();
    writeNewKeywords();
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

bool BatchRun::writeNewKeywords()
{
    KeywordListModel &keywords = m_crawl.keywords();
    // The sweeps keep every earlier item, so the list only grows and what is new is its tail.
    m_written = std::min(m_written, keywords.count());
    if (m_written == keywords.count())
        return true;
    try {
        m_crawl.keywordFile().append(keywords.items().mid(m_written));
        m_written = keywords.count();
        return true;
    } catch (const FileError &error) {
        m_console.error(
            error.message()
            + u"\n%1个关键字尚未写入，下次抓取后再试。"_s.arg(keywords.count() - m_written));
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
    if (!writeNewKeywords()) {
        m_console.error(
            u"%1个关键字未能写入 %2，已丢失。"_s.arg(m_crawl.keywords().count() - m_written)
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
    QString last = u"%1，共抓取%2个网址，%3个关键字已写入 %4"_s.arg(outcome)
                       .arg(m_crawl.roundCount())
                       .arg(m_written)
                       .arg(m_crawl.keywordFile().path());
    if (m_failedPages > 0)
        last += u"，%1个网址无法打开"_s.arg(m_failedPages);
    m_console.line(last);
    m_status = status;
    m_loop.exit(status);
}
