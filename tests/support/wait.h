#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

// Runs the event loop until `done` holds or `timeoutMs` has passed; returns `done()`.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs = 5000)
{
    for (const QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired(); QThread::msleep(1)) {
        if (done())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

// Runs the event loop for `ms` milliseconds.
inline void spinFor(int ms)
{
    waitUntil([] { return false; }, ms);
}
