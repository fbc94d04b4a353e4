#pragma once

#include "core/keywordlistmodel.h"
#include "crawl/crawlcycle.h"
#include "harvest/harvestpass.h"
#include "output/keywordexport.h"
#include "urlqueue/urllistfile.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>

#include <memory>

class BatchConsole;
class BrowserPane;
class ShutdownSignals;

// The crawl without a window, for cron and systemd timers: the same handlers, pacing and
// harvest pass as Form1, over a browser pane that is created but never shown. Progress goes
// to the console instead of labels and boxes, and keywords go to the keyword file after
// every harvest instead of at an export, so a run that is killed loses at most one page.
class BatchRun : public QObject, private CrawlWindow
{
    Q_OBJECT

public:
    // `directory` holds the URL list file and the keyword file.
    BatchRun(const QString &directory, const TextEncoding &encoding, BatchConsole &console,
             const CrawlPacing &pacing = RealCrawlPacing, QObject *parent = nullptr);
    ~BatchRun() override;

    // Start-up, the crawl until every address is harvested or a signal stops it, and the
    // compaction. Returns the exit status (see ExitStatus); 128 + N after signal N.
    int exec();

    void Form_Load();
    void Command1_Click();
    void Text1_Change();
    void quchongzi();

    const KeywordListModel &keywords() const { return m_keywords; }

private:
    // CrawlWindow
    QString addressText() const override;
    void setAddressText(const QString &text) override;
    QString progressCaption() const override;
    void setProgressCaption(const QString &caption) override;
    QString targetCaption() const override;
    const UrlListFile &urlList() const override;
    void showMessage(const QString &text) override;
    void showFailure(const FileError &error) override;
    bool isClosed() const override;

    // Appends what is not in the keyword file yet; false while some of it cannot be written.
    bool writeNewKeywords();
    // Ends the run: what is left goes to the keyword file, the URL list is compacted, and a
    // last line says how it went.
    void finish(int status, const QString &outcome);

    QString m_directory;
    TextEncoding m_encoding;
    UrlListFile m_urlList;
    KeywordFile m_keywordFile;
    KeywordListModel m_keywords;
    HarvestPass m_harvest;
    CrawlCycle m_crawl;
    BatchConsole &m_console;
    std::unique_ptr<BrowserPane> m_browser; // WebBrowser1
    std::unique_ptr<ShutdownSignals> m_signals;
    QEventLoop m_loop;
    QElapsedTimer m_clock;

    QString m_text1;
    QString m_label2;
    QString m_label3;
    qint64 m_urlTotal = 0;
    qsizetype m_written = 0; // items [0, m_written) are in the keyword file
    qsizetype m_lastAdded = 0;
    bool m_closed = false;
    int m_status = 0;
};
