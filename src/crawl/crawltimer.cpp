#include "crawl/crawltimer.h"

CrawlTimer::CrawlTimer(bool enabled, int intervalMs, QObject *parent)
    : QObject(parent)
    , m_enabled(enabled)
    , m_interval(intervalMs)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CrawlTimer::tick);
    update();
}

void CrawlTimer::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    update();
}

void CrawlTimer::setInterval(int intervalMs)
{
    if (intervalMs == m_interval)
        return;
    m_interval = intervalMs;
    update();
}

void CrawlTimer::update()
{
    if (!m_enabled || m_interval <= 0) {
        m_timer.stop();
        return;
    }
    m_timer.start(m_interval);
}
