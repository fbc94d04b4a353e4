#pragma once

#include "harvest/pageload.h"

#include <QElapsedTimer>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <functional>
#include <memory>
#include <optional>
#include <thread>

// WebBrowser1: the embedded browser, and the one way the program reads its page.
//
// The engine's document lives in another process, so collectLinks() asks it for the links the
// moment a harvest needs them and waits for the answer. The collection runs in an isolated
// script world, out of the page's reach: a page can neither see it nor change what it reads.
//
// Nobody watches the pane: its page is an UnattendedPage, which answers whatever a document
// asks of the user without showing anything, and the pane shows no context menu and keeps the
// windows it would open by itself off the screen.
class BrowserPane : public QWebEngineView
{
    Q_OBJECT

public:
    // The isolated script world the collection runs in. Page scripts run in the main world
    // and cannot reach it.
    static constexpr quint32 ScriptWorldId = QWebEngineScript::UserWorld + 1;
    // The size pages are laid out at: a desktop browser window's. Narrower, text wraps into
    // millions of lines, and a long one costs the engine seconds and gigabytes.
    static constexpr QSize LayoutSize {1280, 800};
    // Where the pane stands in a host of the main window's size, out of view: just below its
    // bottom edge, where the host clips it whole.
    static QRect outOfView(const QSize &host) { return {QPoint(16, host.height()), LayoutSize}; }

    explicit BrowserPane(QWidget *parent = nullptr);
    ~BrowserPane() override;

    // Sends the text to the engine as an address, completed the way an address bar does
    // (QUrl::fromUserInput). An empty text is ignored, and so is one that completes to no
    // address at all (blanks only); then the result is false.
    bool navigate(const QString &text);

    // Asks the document the engine holds now for its links, in document order (or what else
    // `request` asks for). `answer` gets them exactly once: the links, no document (at once,
    // when the pane knows), no answer after `timeoutMs`, or abandoned when cancelCollection()
    // comes first. Never blocks.
    void collectLinks(const CollectionRequest &request, int timeoutMs, const LinksAnswer &answer);
    // Ends every collection still waiting for the engine (no document, if its render process
    // has gone meanwhile).
    void cancelCollection();

    PageLoad pageLoad() const { return m_load; }

    // Asks the document how long its links have stood still, in milliseconds; `answer` gets
    // it, or nullopt when the engine holds no document of the address last sent. The first
    // question starts the watch, and answers 0. Never called once the pane is gone.
    void askLinksQuietMs(const std::function<void(std::optional<int>)> &answer);

    // Asks the engine which of `selectors` it accepts; `answer` gets one verdict a selector, in
    // order, or an empty list when the engine gave none. Needs no page.
    void checkSelectors(const QStringList &selectors,
                        const std::function<void(QList<bool>)> &answer);

    // True when the document has been asked something and has not answered for `ms`: its
    // script does not yield.
    bool unansweredFor(int ms) const;

Q_SIGNALS:
    // Emitted for every address handed to the engine.
    void navigationRequested(const QUrl &url);

private:
    struct PendingCollection
    {
        LinksAnswer answer;
        bool decoding = false; // the answer is in: no timeout now
        bool done = false;
    };
    void finish(PendingCollection &pending, LinkCollection collection);
    void joinDecoder();

    // Ends the render process, whatever its document is doing, and waits until the engine has
    // noticed; the next address loads in a fresh one.
    void restartRenderer();
    void asked();
    void answered() { m_askedAt.invalidate(); }

    PageLoad m_load;
    QElapsedTimer m_askedAt; // the oldest question still unanswered
    bool m_navigated = false; // the engine holds its initial empty document until then
    bool m_rendererGone = false; // the render process ended and took the document along
    QList<std::shared_ptr<PendingCollection>> m_pending;
    std::thread m_decoder; // splits the largest collections
};
