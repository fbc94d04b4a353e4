#pragma once

#include "harvest/browserpane.h"

#include <QEventLoop>

#include <optional>

// The pane's collection, waited for: what a harvest gets.
inline LinkCollection collectNow(BrowserPane *pane, int timeoutMs,
                                 const CollectionRequest &request = {})
{
    std::optional<LinkCollection> answer;
    QEventLoop wait;
    pane->collectLinks(request, timeoutMs, [&](LinkCollection collected) {
        answer = std::move(collected);
        wait.quit();
    });
    if (!answer)
        wait.exec();
    return std::move(*answer);
}
