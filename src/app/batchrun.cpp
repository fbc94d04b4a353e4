#include "app/batchrun.h"

#include "app/batchconsole.h"
#include "app/commandline.h"
#include "app/shutdownsignals.h"
#include "core/fileerror.h"
#include "crawl/progresstext.h"
#include "harvest/browserpane.h"
#include "harvest/filterphrasefile.h"

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
    , m_directory(directory)
    , m_encoding(encoding)
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

    m_browser = std::make_unique<BrowserPane>();
    m_browser->setObjectName(u"WebBrowser1"_s);
    // Laid out as the window's, though never shown: pages see the same viewport.
    m_browser->resize(2, 9);

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
    const FilterPhraseFile filters = readFilterPhraseFile(m_directory, m_encoding);
    if (!filters.error.isEmpty())
        m_console.error(filters.error);
    m_harvest.setOwnPhrases(filters.phrases);
    // A log should say which filters a run's keywords went through.
    const QString own
        = filters.present ? u"，另加%1个过滤关键字"_s.arg(filters.phrases.size()) : QString();
    m_console.line(u"共抓取"_s + QString::number(m_urlTotal) + u"网址"_s + own);
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
    m_harvest.run(m_browser ? m_browser->links() : std::nullopt);
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
