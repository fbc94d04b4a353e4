#pragma once

#include "pagelinks.h"

#include <QWebEngineView>

#include <optional>

// WebBrowser1: the embedded browser and a mirror of the links of the document it holds.
//
// The engine's DOM lives in another process and answers only asynchronously, while the
// harvest pass reads the page synchronously without pumping events. So a script injected
// into every document (in an isolated world, out of the page's reach) pushes the
// document's links over a web channel whenever they change, and the pane keeps the latest
// push. A new document replaces the mirror whole; nothing of two documents is ever mixed.
class BrowserPane : public QWebEngineView
{
    Q_OBJECT

public:
    explicit BrowserPane(QWidget *parent = nullptr);
    ~BrowserPane() override;

    // Sends the text to the engine as an address, completed the way an address bar does
    // (QUrl::fromUserInput). An empty text is ignored.
    void navigate(const QString &text);

    // The current document's links; nullopt when the engine holds no document.
    std::optional<PageLinks> links() const;

Q_SIGNALS:
    // Emitted for every address handed to the engine.
    void navigationRequested(const QUrl &url);
    // Emitted after the mirror changed (a push arrived, or the document went away).
    void linksChanged();

private:
    class Mirror;
    Mirror *m_mirror = nullptr;
};
