#pragma once

#include <QObject>
#include <QTimer>

// A timer that ticks only while it is enabled and its period is above zero; the first tick
// comes one period after it starts, and giving a period to a timer enabled with period 0
// starts it. Enabling a running timer or giving it the period it already has leaves its
// countdown alone, so rotation ticks keep their spacing while harvest ticks re-arm.
class CrawlTimer : public QObject
{
    Q_OBJECT

public:
    CrawlTimer(bool enabled, int intervalMs, QObject *parent = nullptr);

    bool isEnabled() const { return m_enabled; }
    int interval() const { return m_interval; }
    bool isTicking() const { return m_timer.isActive(); }

    void setEnabled(bool enabled);
    void setInterval(int intervalMs);

Q_SIGNALS:
    void tick();

private:
    void update();

    QTimer m_timer;
    bool m_enabled;
    int m_interval;
};
