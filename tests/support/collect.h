#pragma once

#include "harvest/browserpane.h"

#include <QEventLoop>

#include <optional>

// The pane's collection, waited for: what a harvest gets.
inline LinkCollection collectNow(BrowserPane *pane, int timeoutMs)
{
    std::optional<LinkCollection> answer;
    QEventLoop wait;
    pane->collectLinks(timeoutMs, [&](LinkCollection collected) {
        answer = std::move(collected);
        wait.quit();
    });
    if (!answer)
        wait.exec();
    return std::move(*answer);
}
