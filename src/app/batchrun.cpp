#include "app/batchrun.h"

#include "app/batchconsole.h"
#include "app/commandline.h"
#include "app/shutdownsignals.h"
#include "core/fileerror.h"
#include "crawl/progresstext.h"
#include "harvest/browserpane.h"

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
                   const CrawlPacing &pacing, QObject *parent)
    : QObject(parent)
    , m_urlList(directory, encoding)
    , m_keywordFile(directory, encoding)
    , m_harvest(m_keywords)
    , m_crawl(*this, pacing)
    , m_console(console)
    , m_label3(u"Label3"_s)
{
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
        Form_Load();
    } catch (const FileError &error) {
        m_console.error(error.message());
        return ExitStatus::Failed;
    }
    // The window would wait for a user forever; a scheduled job must end.
    if (m_urlTotal == 0)
        return ExitStatus::Done;

    // Placed in a window of the main window's size, as there, and shown: pages see the same
    // viewport and see themselves shown, with animation frames and timers running as in the
    // window. A batch run uses the offscreen platform, so nothing reaches a screen.
    m_host = std::make_unique<QWidget>();
    m_host->setFixedSize(556, 312);
    m_browser = new BrowserPane(m_host.get());
    m_browser->setObjectName(u"WebBrowser1"_s);
    m_browser->setGeometry(16, 312, 2, 9);
    m_host->show();

    m_clock.start();
    Command1_Click();
    if (m_closed)
        return m_status;
    return m_loop.exec();
}

void BatchRun::Form_Load()
{
    m_urlList.EnsureUrlList();
    m_urlTotal = m_urlList.CountUrlList();
    m_console.line(u"共抓取"_s + QString::number(m_urlTotal) + u"网址"_s);
    m_label3 = ProgressText(m_urlTotal);
}

void BatchRun::Command1_Click()
{
    m_crawl.Command1_Click();
}

void BatchRun::Text1_Change()
{
    if (m_browser)
        m_browser->navigate(m_text1);
}

void BatchRun::quchongzi()
{
    const qsizetype before = m_keywords.count();
    const std::optional<PageLinks> links = m_browser
        ? m_browser->collectLinks(m_crawl.pacing().collectTimeoutMs).forHarvest()
        : std::nullopt;
    // Stopped while the engine was being asked: the list stays as it was.
    if (m_closed)
        return;
    m_harvest.run(links);
    m_lastAdded = std::max<qsizetype>(m_keywords.count() - before, 0);
    writeNewKeywords();
}

bool BatchRun::writeNewKeywords()
{
    // The sweeps keep every earlier item, so the list only grows and what is new is its tail.
    m_written = std::min(m_written, m_keywords.count());
    if (m_written == m_keywords.count())
        return true;
    try {
        m_keywordFile.append(m_keywords.items().mid(m_written));
        m_written = m_keywords.count();
        return true;
    } catch (const FileError &error) {
        m_console.error(
            error.message()
            + u"\n%1个关键字尚未写入，下次抓取后再试。"_s.arg(m_keywords.count() - m_written));
        return false;
    }
}

void BatchRun::finish(int status, const QString &outcome)
{
    if (m_closed)
        return;
    m_closed = true;
    m_crawl.stop();
    if (m_browser)
        m_browser->cancelCollection();
    if (!writeNewKeywords()) {
        m_console.error(u"%1个关键字未能写入 %2，已丢失。"_s.arg(m_keywords.count() - m_written)
                            .arg(m_keywordFile.path()));
        if (status < ExitStatus::SignalBase)
            status = ExitStatus::Failed;
    }
    // As the window does on close: the next run starts with the address that would have
    // come next.
    try {
        m_urlList.CompactUrlList();
    } catch (const FileError &error) {
        m_console.error(error.message());
        if (status == ExitStatus::Done)
            status = ExitStatus::Failed;
    }
    m_console.line(u"%1，共抓取%2个网址，%3个关键字已写入 %4"_s.arg(outcome)
                       .arg(m_crawl.roundCount())
                       .arg(m_written)
                       .arg(m_keywordFile.path()));
    m_status = status;
    m_loop.exit(status);
}

QString BatchRun::addressText() const
{
    return m_text1;
}

void BatchRun::setAddressText(const QString &text)
{
    // As a text box does: the same text again is no change and sends nothing.
    if (text == m_text1)
        return;
    m_text1 = text;
    Text1_Change();
}

QString BatchRun::progressCaption() const
{
    return m_label2;
}

void BatchRun::setProgressCaption(const QString &caption)
{
    m_label2 = caption;
    const qint64 count = m_crawl.roundCount();
    m_console.progress(count, m_urlTotal, caption, m_text1, m_lastAdded,
                       count > 0 ? m_clock.elapsed() / count : 0);
}

QString BatchRun::targetCaption() const
{
    return m_label3;
}

const UrlListFile &BatchRun::urlList() const
{
    return m_urlList;
}

void BatchRun::showMessage(const QString &text)
{
    if (text != CrawlCycle::completionMessage()) {
        m_console.error(text);
        return;
    }
    finish(ExitStatus::Done, u"已经全部抓取"_s);
}

void BatchRun::showFailure(const FileError &error)
{
    // The crawl has stopped, and nobody is there to start it again.
    m_console.error(error.message());
    finish(ExitStatus::Failed, u"抓取中止"_s);
}

bool BatchRun::isClosed() const
{
    return m_closed;
}
