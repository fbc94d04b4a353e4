#pragma once

#include "crawl/crawl.h"
#include "crawl/crawlpacing.h"
#include "harvest/pageload.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class BatchConsole;
class BrowserPane;
class ShutdownSignals;
class QWidget;

// The crawl without a window, for cron and systemd timers: the same crawl as the window's,
// over a browser pane that nobody sees, paced by the pages rather than by the clock. Each page
// is harvested once it has loaded and its links have stood still; one that cannot be loaded
// is said on standard error and counted, so the run still ends. Progress goes to the console,
// and keywords go to the keyword file after every page, so a run that is killed loses at most
// one page.
class BatchRun : public QObject
{
    Q_OBJECT

public:
    // `directory` holds the URL list file and the keyword file.
    BatchRun(const QString &directory, const TextEncoding &encoding, BatchConsole &console,
             const BatchPacing &pacing = {}, const CrawlOptions &options = {},
             QObject *parent = nullptr);
    ~BatchRun() override;

    // Start-up, the crawl until every address is harvested or a signal stops it, and the
    // compaction. Returns the exit status (see ExitStatus); 128 + N after signal N.
    int exec();

private:
    void createBrowser();
    // Rotates the next address out of the URL list and sends it.
    void nextAddress();
    // Sends the address (again): the page's time starts.
    void send();
    // Looks at the page: failed, timed out, or loaded with its links standing still.
    void check();
    void atTimeout();
    // Asks for the page's links, waiting at most `waitMs` for them; `timedOut` says so on its
    // line.
    void harvest(bool timedOut, int waitMs);
    // The page's links, or why there are none.
    void harvested(bool timedOut, const LinkCollection &collected);
    // A page that could not be loaded: tried once more when the reason may pass.
    void fail(const PageFailure &failure);
    // Counts the page, writes its keywords, says how it went, and moves on or ends.
    void pageDone(const QString &outcome, const QStringList &appended = {});
    void after(int ms, const std::function<void()> &action);

    // Appends what the page added and what could not be written before; false while some of
    // it cannot be written, or the history fails.
    bool writeKeywords(const QStringList &appended);
    // Ends the run: what is left goes to the keyword file, the URL list is compacted, and a
    // last line says how it went.
    void finish(int status, const QString &outcome);

    Crawl m_crawl;
    BatchConsole &m_console;
    BatchPacing m_pacing;
    std::unique_ptr<QWidget> m_host;
    BrowserPane *m_browser = nullptr; // WebBrowser1, in m_host
    std::unique_ptr<ShutdownSignals> m_signals;
    QEventLoop m_loop;
    QElapsedTimer m_clock; // since the first address
    QTimer m_checks;
    QTimer m_wait;
    std::function<void()> m_afterWait;

    QString m_address;
    QElapsedTimer m_sentAt; // the address, first sent
    QElapsedTimer m_attemptAt; // the address, sent last
    int m_attempt = 0;
    quint64 m_generation = 0; // one per attempt: answers for an earlier one are dropped
    bool m_asking = false; // a question to the page is on its way
    bool m_historyFailed = false;
    qint64 m_failedPages = 0;
    bool m_closed = false;
    int m_status = 0;
};
