#include "crawl/crawl.h"

#include "harvest/hotlists.h"
#include "history/keywordhistory.h"

#include <QDateTime>

Crawl::Crawl(const QString &directory, const TextEncoding &encoding, const CrawlOptions &options)
    : m_directory(directory)
    , m_encoding(encoding)
    , m_options(options)
    , m_urlList(directory, encoding)
    , m_keywordFile(directory, encoding)
    , m_harvest(m_keywords)
{
}

Crawl::~Crawl() = default;

void Crawl::start()
{
    m_urlList.EnsureUrlList();
    m_urlTotal = m_urlList.CountUrlList();
    m_ownFilters = readFilterPhraseFile(m_directory, m_encoding);
    m_harvest.setOwnPhrases(m_ownFilters.phrases);
    m_listRules = readListRuleFile(m_directory, m_encoding);
    try {
        history(m_options.newOnly);
    } catch (const FileError &error) {
        m_historyError = error;
    }
}

CollectionRequest Crawl::collectionFor(const QString &address) const
{
    const QString selector = selectorFor(m_listRules.rules, address);
    return {selector.isEmpty() && m_options.listsOnly, selector};
}

KeywordHistory *Crawl::history(bool create)
{
    if (!m_history && (create || KeywordHistory::existsIn(m_directory))) {
        m_history = std::make_unique<KeywordHistory>(m_directory, create);
        m_historyError.reset();
    }
    return m_history.get();
}

QStringList Crawl::record(const QString &address, const QStringList &page,
                          const QStringList &writing)
{
    try {
        return m_history->record({address, page, writing, m_options.newOnly, m_keywordFile.size()},
                                 QDateTime::currentDateTimeUtc());
    } catch (const FileError &error) {
        // Nothing more goes to a history that has failed; what needs it says why.
        m_history.reset();
        m_historyError = error;
        throw;
    }
}

PageHarvest Crawl::harvest(const QString &address, const PageLoad &load,
                           const LinkCollection &collected)
{
    if (auto failure = harvestFailure(load, collected))
        return {false, {}, std::move(failure)};
    if (collected.outcome != LinkCollection::Outcome::Collected)
        return {};
    PageHarvest page {true,
                      m_harvest.run(collected.layout
                                        ? hotListLinks(collected.links, *collected.layout)
                                        : collected.links)};
    // A batch run records the page with its write (writePage), in one transaction. The
    // window harvests on without a history that failed: an export of new keywords says why.
    if (m_history && !m_writesEveryPage && !page.appended.isEmpty()) {
        try {
            record(address, page.appended, {});
        } catch (const FileError &) {
        }
    }
    return page;
}

qsizetype Crawl::exportList()
{
    const QStringList items = m_keywords.items();
    QStringList lines = items;
    if (m_options.newOnly) {
        history(true); // the export needs it: a failure ends it here
        lines = record({}, {}, items);
    } else {
        // The whole list needs no history: one that fails is only left behind.
        try {
            if (!m_historyError && history(false))
                record({}, {}, items);
        } catch (const FileError &error) {
            m_historyError = error;
        }
    }
    m_keywordFile.append(lines);
    return lines.size();
}

void Crawl::writePage(const QString &address, const QStringList &appended)
{
    const QStringList writing = m_unwritten + appended;
    QStringList lines = writing;
    if (m_history && !writing.isEmpty()) {
        try {
            lines = record(address, appended, writing);
        } catch (const FileError &) {
            m_unwritten = writing; // to say how many it cost
            throw;
        }
    }
    // What an earlier write left comes again: the page's own keywords that do not were known.
    if (m_options.newOnly)
        m_knownCount
            += std::max<qsizetype>(0, appended.size() - (lines.size() - m_unwritten.size()));
    m_unwritten = lines;
    if (lines.isEmpty())
        return;
    m_keywordFile.append(lines);
    m_writtenCount += lines.size();
    m_unwritten.clear();
}
