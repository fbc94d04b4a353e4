#include "crawl/crawl.h"

#include "harvest/hotlists.h"

Crawl::Crawl(const QString &directory, const TextEncoding &encoding, const CrawlOptions &options)
    : m_directory(directory)
    , m_encoding(encoding)
    , m_options(options)
    , m_urlList(directory, encoding)
    , m_keywordFile(directory, encoding)
    , m_harvest(m_keywords)
{
}

void Crawl::start()
{
    m_urlList.EnsureUrlList();
    m_urlTotal = m_urlList.CountUrlList();
    m_ownFilters = readFilterPhraseFile(m_directory, m_encoding);
    m_harvest.setOwnPhrases(m_ownFilters.phrases);
    m_listRules = readListRuleFile(m_directory, m_encoding);
}

CollectionRequest Crawl::collectionFor(const QString &address) const
{
    const QString selector = selectorFor(m_listRules.rules, address);
    return {selector.isEmpty() && m_options.listsOnly, selector};
}

PageHarvest Crawl::harvest(const QString &address, const LinkCollection &collected)
{
    Q_UNUSED(address);
    if (collected.outcome != LinkCollection::Outcome::Collected)
        return {};
    if (collected.layout)
        return {true, m_harvest.run(hotListLinks(collected.links, *collected.layout))};
    return {true, m_harvest.run(collected.links)};
}
