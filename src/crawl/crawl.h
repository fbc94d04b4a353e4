#pragma once

#include "core/keywordlistmodel.h"
#include "harvest/filterphrasefile.h"
#include "harvest/harvestpass.h"
#include "harvest/listrulefile.h"
#include "output/keywordexport.h"
#include "urlqueue/urllistfile.h"

// What one page's harvest came to.
struct PageHarvest
{
    bool harvested = false; // the engine gave the page's links
    QStringList appended; // the keywords the list gained, in order
};

// What the user has switched on; everything is off unless asked for.
struct CrawlOptions
{
    bool listsOnly = false; // 只取榜单: a harvest keeps only the page's hot lists
    bool newOnly = false; // 只导出新词: the keyword file gets only keywords it never had
};

// A crawl's state and rules, whichever front end paces it: the URL list file, the keyword
// file, the keyword list and its harvest pass, the start-up count, the rotation and the count
// of harvested pages that ends the crawl.
class Crawl
{
public:
    // `directory` holds the URL list file and the keyword file; `encoding` is the one they are
    // read and written in.
    Crawl(const QString &directory, const TextEncoding &encoding, const CrawlOptions &options = {});

    // Start-up: creates an empty URL list file when there is none and counts its lines, the
    // crawl's target, and reads the user's filter phrases and list rules. Throws FileError for
    // the URL list; a filter file that cannot be read leaves the built-in table alone, and
    // ownFilters() says why; listRules() says which rules could not be used.
    void start();
    qint64 urlTotal() const { return m_urlTotal; }
    const FilterPhraseFile &ownFilters() const { return m_ownFilters; }
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
    // links it collected from `address`, if it collected any; only those of the page's hot
    // lists when it collected their layout.
    PageHarvest harvest(const QString &address, const LinkCollection &collected);

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
    QString m_directory;
    TextEncoding m_encoding;
    CrawlOptions m_options;
    UrlListFile m_urlList;
    KeywordFile m_keywordFile;
    KeywordListModel m_keywords;
    HarvestPass m_harvest;
    FilterPhraseFile m_ownFilters;
    ListRuleFile m_listRules;
    qint64 m_urlTotal = 0;
    qint64 m_roundCount = 0;
};
