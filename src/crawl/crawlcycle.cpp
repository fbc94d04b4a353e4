#include "crawl/crawlcycle.h"

#include "core/fileerror.h"
#include "crawl/crawl.h"
#include "crawl/progresstext.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

using namespace Qt::StringLiterals;

CrawlCycle::CrawlCycle(Crawl &crawl, CrawlWindow &window, const CrawlPacing &pacing,
                       QObject *parent)
    : QObject(parent)
    , m_crawl(crawl)
    , m_window(window)
    , m_pacing(pacing)
    , m_timer1(true, 0) // enabled, but silent until Command1 gives it a period
    , m_timer2(false, pacing.harvestPeriodMs)
{
    connect(&m_timer1, &CrawlTimer::tick, this, &CrawlCycle::Timer1_Timer);
    connect(&m_timer2, &CrawlTimer::tick, this, &CrawlCycle::Timer2_Timer);
}

QString CrawlCycle::missingListMessage()
{
    return QStringLiteral("要抓取百度哪个网页的关键字？老大，请告诉我");
}

QString CrawlCycle::completionMessage(const QList<FailedPage> &failed)
{
    QString text = QStringLiteral("已经全部抓取,请点击生成文本");
    if (failed.isEmpty())
        return text;
    // Enough to act on; the box must still fit on the screen.
    constexpr qsizetype Named = 10;
    text += u"\n有%1个网址未能抓取："_s.arg(failed.size());
    for (const FailedPage &page : failed.first(std::min(failed.size(), Named)))
        text += u"\n"_s + page.address + u"："_s + page.reason;
    if (failed.size() > Named)
        text += u"\n……另有%1个"_s.arg(failed.size() - Named);
    return text;
}

void CrawlCycle::Command1_Click()
{
    m_timer1.setEnabled(true);
    m_timer1.setInterval(m_pacing.rotationPeriodMs);
    // One harvest at a time: a click or a harvest tick that comes while a harvest waits for
    // the engine is dropped, as a busy window drops timer ticks.
    if (m_harvesting)
        return;
    m_harvesting = true;
    quchongzi();
    m_harvesting = false;
}

void CrawlCycle::quchongzi()
{
    std::optional<LinkCollection> collected;
    QEventLoop wait;
    const QString address = m_window.addressText();
    m_window.collectLinks(m_crawl.collectionFor(address), m_pacing.collectTimeoutMs,
                          [&](LinkCollection answer) {
                              collected = std::move(answer);
                              wait.quit();
                          });
    if (!collected)
        wait.exec();
    // The application may end every loop at once: the answer must not outlive this wait.
    if (!collected)
        m_window.cancelCollection();
    if (!collected || m_window.isClosed())
        return;
    m_lastHarvest = m_crawl.harvest(address, m_window.pageLoad(), *collected);
}

void CrawlCycle::Timer1_Timer()
{
    if (!m_crawl.urlList().exists()) {
        m_window.showMessage(missingListMessage());
        if (m_window.isClosed())
            return;
        m_timer2.setEnabled(true);
        return;
    }

    QString address;
    try {
        address = m_crawl.rotate();
    } catch (const FileError &error) {
        // The keyword list is not saved anywhere else: keep the window and stop the crawl
        // instead of ending the program. Command1 starts it again.
        stop();
        m_window.showFailure(error);
        return;
    }
    m_window.setAddressText(address);
    ++m_rotations;
    if (!pump(m_pacing.rotationPumpsBeforeRearm))
        return;
    m_timer1.setEnabled(true);
    if (!pump(m_pacing.rotationPumpsAfterRearm))
        return;
    // The page loads while the user-interface thread sleeps; nothing is processed meanwhile.
    QThread::msleep(ulong(m_pacing.sleepMs));
    // A harvest still waiting for the engine has left Timer2 counting down from its own
    // start: this page gets a whole harvest period all the same.
    if (m_harvesting)
        m_timer2.setEnabled(false);
    m_timer2.setEnabled(true);
}

void CrawlCycle::Timer2_Timer()
{
    if (m_window.addressText().isEmpty() || m_harvesting)
        return;
    const qint64 rotations = m_rotations;
    m_lastHarvest.reset();
    Command1_Click();
    if (m_window.isClosed())
        return;
    if (m_lastHarvest && m_lastHarvest->failure)
        m_failedPages.append({m_window.addressText(), m_lastHarvest->failure->reason});
    const bool target = m_crawl.countPage();
    m_window.setProgressCaption(ProgressText(m_crawl.roundCount()));
    if (target) {
        stop();
        m_window.showMessage(completionMessage(m_failedPages));
        if (m_window.isClosed())
            return;
    }
    if (!pump(m_pacing.harvestPumps))
        return;
    // A rotation that came while the harvest waited for the engine keeps its own harvest.
    if (m_rotations == rotations)
        m_timer2.setEnabled(false);
}

void CrawlCycle::stop()
{
    m_timer1.setEnabled(false);
    m_timer2.setEnabled(false);
}

bool CrawlCycle::pump(int times)
{
    for (int i = 0; i < times; ++i) {
        QCoreApplication::processEvents();
        // A close handled inside the pump ends the tick here: nothing after it may show a
        // box, start a timer or bring the window back.
        if (m_window.isClosed())
            return false;
    }
    return true;
}
