#pragma once

#include "harvest/pagelinks.h"

#include <QWebEngineScript>
#include <QWebEngineView>

#include <optional>

// WebBrowser1: the embedded browser and a mirror of the links of the document it holds.
//
// The engine's DOM lives in another process and answers only asynchronously, while the
// harvest pass reads the page synchronously without pumping events. So a script injected
// into every document (in an isolated world, out of the page's reach) announces the
// document's links over a web channel whenever they change, and the pane keeps the latest
// list, fetched whole. A new document replaces the mirror whole; nothing of two documents
// is ever mixed. A big list is fetched and decoded a piece at a time, so the window stays
// responsive while it arrives.
//
// Nobody watches the pane: its page is an UnattendedPage, which answers whatever a document
// asks of the user without showing anything, and the pane shows no context menu and keeps the
// windows it would open by itself off the screen.
//
// The pane owns its page, with the page's scripts and web channel: replacing the page with
// setPage() leaves the mirror without a source.
class BrowserPane : public QWebEngineView
{
    Q_OBJECT

public:
    // The isolated script world the mirror's script and channel live in. Page scripts run
    // in the main world and cannot reach it.
    static constexpr quint32 ScriptWorldId = QWebEngineScript::UserWorld + 1;

    explicit BrowserPane(QWidget *parent = nullptr);
    ~BrowserPane() override;

    // Sends the text to the engine as an address, completed the way an address bar does
    // (QUrl::fromUserInput). An empty text is ignored, and so is one that completes to no
    // address at all (blanks only).
    void navigate(const QString &text);

    // The current document's links; nullopt when the engine holds no document: before the
    // first one arrived, after the render process ended, and while it shows one of its own
    // error pages instead of a document.
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
