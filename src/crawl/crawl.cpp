#include "crawl/crawl.h"

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
}

PageHarvest Crawl::harvest(const QString &address, const PageLoad &load,
                           const LinkCollection &collected)
{
    Q_UNUSED(address);
    if (auto failure = harvestFailure(load, collected))
        return {false, {}, std::move(failure)};
    if (collected.outcome != LinkCollection::Outcome::Collected)
        return {};
    return {true, m_harvest.run(collected.links), std::nullopt};
}
