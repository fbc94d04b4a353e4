#pragma once

#include "crawl/crawl.h"
#include "crawl/crawlpacing.h"
#include "crawl/crawltimer.h"
#include "harvest/pageload.h"

#include <QObject>
#include <QString>

class Crawl;
class FileError;

// What the crawl needs of the window it runs in: what it shows and how it answers.
class CrawlWindow
{
public:
    virtual ~CrawlWindow() = default;

    virtual QString addressText() const = 0; // Text1
    virtual void setAddressText(const QString &text) = 0; // Text1; navigates at once
    virtual void setProgressCaption(const QString &caption) = 0; // Label2
    // Asks the browser for the links of the page it holds (see BrowserPane::collectLinks).
    virtual void collectLinks(const CollectionRequest &request, int timeoutMs,
                              const LinksAnswer &answer)
        = 0;
    // Ends a collection still waiting: its answer comes at once.
    virtual void cancelCollection() = 0;
    // How far the browser got with the address last sent.
    virtual PageLoad pageLoad() const = 0;
    // A modal box captioned Lexhaul; returns when the user has closed it.
    virtual void showMessage(const QString &text) = 0;
    virtual void showFailure(const FileError &error) = 0;
    // True once the window has been closed (possibly inside one of the crawl's pumps).
    virtual bool isClosed() const = 0;
};

// The window's pacing of a crawl, with two timers: Timer1 rotates the next address of the URL
// list into Text1, Timer2 harvests the page about three seconds later and counts it, until as
// many pages have been harvested as the URL list file had lines at start-up.
class CrawlCycle : public QObject
{
    Q_OBJECT

public:
    CrawlCycle(Crawl &crawl, CrawlWindow &window, const CrawlPacing &pacing = RealCrawlPacing,
               QObject *parent = nullptr);

    void Command1_Click();
    void Timer1_Timer();
    void Timer2_Timer();
    // The harvest of the page the browser holds. Waits for the engine's answer, drawing and
    // answering the user meanwhile; a close during the wait ends it with the list as it was.
    void quchongzi();

    // Both timers off (the export, and a failed rotation).
    void stop();

    CrawlTimer &timer1() { return m_timer1; }
    CrawlTimer &timer2() { return m_timer2; }
    const CrawlPacing &pacing() const { return m_pacing; }

    // A page the crawl counted that gave nothing, and why.
    struct FailedPage
    {
        QString address;
        QString reason;
    };
    const QList<FailedPage> &failedPages() const { return m_failedPages; }

    static QString missingListMessage();
    // What the crawl says at its end: the first line alone when every page was harvested.
    static QString completionMessage(const QList<FailedPage> &failed = {});

private:
    // Runs pending events `times` times; false when the window was closed meanwhile.
    bool pump(int times);

    Crawl &m_crawl;
    CrawlWindow &m_window;
    CrawlPacing m_pacing;
    CrawlTimer m_timer1;
    CrawlTimer m_timer2;
    qint64 m_rotations = 0;
    bool m_harvesting = false;
    std::optional<PageHarvest> m_lastHarvest; // of the last quchongzi
    QList<FailedPage> m_failedPages;
};
