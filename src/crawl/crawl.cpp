#include "crawl/crawl.h"

Crawl::Crawl(const QString &directory, const TextEncoding &encoding)
    : m_directory(directory)
    , m_encoding(encoding)
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

qsizetype Crawl::harvest(const std::optional<PageLinks> &links)
{
    const qsizetype before = m_keywords.count();
    m_harvest.run(links);
    return std::max<qsizetype>(m_keywords.count() - before, 0);
}
