#pragma once

#include "core/fileerror.h"
#include "core/keywordlistmodel.h"
#include "harvest/filterphrasefile.h"
#include "harvest/harvestpass.h"
#include "harvest/listrulefile.h"
#include "harvest/pageload.h"
#include "output/keywordexport.h"
#include "urlqueue/urllistfile.h"

#include <memory>
#include <optional>

class KeywordHistory;

// What one page's harvest came to.
struct PageHarvest
{
    bool harvested = false; // the engine gave the page's links
    QStringList appended = {}; // the keywords the list gained, in order
    std::optional<PageFailure> failure = {}; // why the page gave nothing
};

// What the user has switched on; everything is off unless asked for.
struct CrawlOptions
{
    bool listsOnly = false; // 只取榜单: a harvest keeps only the page's hot lists
    bool newOnly = false; // 只导出新词: the keyword file gets only keywords it never had
};

// A crawl's state and rules, whichever front end paces it: the URL list file, the keyword
// file, the keyword list and its harvest pass, the start-up count, the rotation and the count
// of harvested pages that ends the crawl, and the keyword history where there is one.
class Crawl
{
public:
    // `directory` holds the URL list file and the keyword file; `encoding` is the one they are
    // read and written in.
    Crawl(const QString &directory, const TextEncoding &encoding, const CrawlOptions &options = {});
    ~Crawl();

    // Start-up: creates an empty URL list file when there is none and counts its lines, the
    // crawl's target, reads the user's filter phrases and list rules, and opens the keyword
    // history when there is one or new keywords are asked for (creating it then). Throws
    // FileError for the URL list; a filter file that cannot be read leaves the built-in table
    // alone, and ownFilters() says why; listRules() says which rules could not be used; a
    // history that cannot be opened is left closed, and historyError() says why.
    void start();
    qint64 urlTotal() const { return m_urlTotal; }
    const FilterPhraseFile &ownFilters() const { return m_ownFilters; }
    const std::optional<FileError> &historyError() const { return m_historyError; }
    const ListRuleFile &listRules() const { return m_listRules; }
    // Leaves out the list rules whose selectors the engine rejects, one verdict a rule.
    void keepAcceptedRules(const QList<bool> &accepted) { m_listRules.keepAccepted(accepted); }

    // What the harvest of the page at `address` asks the engine for: the elements of the user's
    // rule for it, else the links, with their layout while 只取榜单 is on.
    CollectionRequest collectionFor(const QString &address) const;

    // The next address, moved to the end of the URL list file; empty when the list holds
    // none. Throws FileError.
    QString rotate() const { return m_urlList.RotateUrlList(); }

    // One page's harvest, whichever front end asked the engine: the harvest pass over the
    // links it collected from `address` (only those of the page's hot lists when it collected
    // their layout), unless the page could not be loaded (see harvestFailure). The history, if
    // any, records what the page added; one that fails is closed, and historyError() says why.
    PageHarvest harvest(const QString &address, const PageLoad &load,
                        const LinkCollection &collected);

    // The window's export: appends the keyword list to the keyword file, or with new keywords
    // only those it has never had, each once. Returns how many lines it appended. Throws
    // FileError, the list kept and nothing written on account of a history that failed.
    qsizetype exportList();

    // A batch run's output, after every page: what the page added (and what an earlier write
    // could not) goes to the keyword file, or with new keywords only what it has never had;
    // recorded in the history with the page in one transaction. Throws FileError; what could
    // not be written is kept for the next call.
    void writePage(const QString &address, const QStringList &appended);
    void setWritesEveryPage() { m_writesEveryPage = true; }
    // What is still to be written, after a write failed.
    qsizetype unwrittenCount() const { return m_unwritten.size(); }
    // Keywords written by writePage, and (new keywords only) those left out as known.
    qsizetype writtenCount() const { return m_writtenCount; }
    qsizetype knownCount() const { return m_knownCount; }

    // Counts a harvested page; true for the page that reaches the target. Pages counted past
    // it are counted, not announced again.
    bool countPage() { return ++m_roundCount == m_urlTotal; }
    qint64 roundCount() const { return m_roundCount; }

    const CrawlOptions &options() const { return m_options; }
    // From the next harvest or export on.
    void setListsOnly(bool on) { m_options.listsOnly = on; }
    void setNewOnly(bool on) { m_options.newOnly = on; }

    KeywordListModel &keywords() { return m_keywords; }
    const UrlListFile &urlList() const { return m_urlList; }
    const KeywordFile &keywordFile() const { return m_keywordFile; }

private:
    // The history, opened (created when `create`) if it is not yet; null when there is none
    // and none is asked for. Throws FileError when it cannot be opened.
    KeywordHistory *history(bool create);
    // Records a change; a failure closes the history and is kept for what needs it.
    QStringList record(const QString &address, const QStringList &page, const QStringList &writing);

    QString m_directory;
    TextEncoding m_encoding;
    CrawlOptions m_options;
    UrlListFile m_urlList;
    KeywordFile m_keywordFile;
    KeywordListModel m_keywords;
    HarvestPass m_harvest;
    FilterPhraseFile m_ownFilters;
    std::unique_ptr<KeywordHistory> m_history;
    std::optional<FileError> m_historyError;
    QStringList m_unwritten; // what writePage could not write yet
    qsizetype m_writtenCount = 0;
    qsizetype m_knownCount = 0;
    bool m_writesEveryPage = false; // a batch run: writePage records each page
    ListRuleFile m_listRules;
    qint64 m_urlTotal = 0;
    qint64 m_roundCount = 0;
};
