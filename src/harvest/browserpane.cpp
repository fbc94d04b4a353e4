#include "harvest/browserpane.h"
#include "harvest/unattendedpage.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <csignal>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// The links go over as one string, "href SEP text SEP href SEP text ...": one string crosses
// from the render process and into Qt far cheaper than an array of hundreds of thousands.
// Addresses are serialised URLs and hold no control characters; in texts ESC and SEP are
// escaped as ESC '0' and ESC '1'. No links is the empty string; null is no document of the
// user's.
constexpr QChar Sep {0x1f};
constexpr QChar Esc {0x1e};

// The engine's error for a load that another load replaced (net::ERR_ABORTED).
constexpr int AbortedError = -3;
// From this length on, a collection is split into links on a thread of its own.
constexpr qsizetype DecodeAsideChars = 1 << 20;

// The longest the pane waits for the engine to notice a render process it ended.
constexpr int RestartWaitMs = 5000;

// No document of the user's: the one the pane has left while its successor has not arrived,
// the engine's error page, or the empty document a new render process starts with.
const QString NotTheUsersDocument
    = uR"(window.lexhaulLeft || location.protocol === 'chrome-error:' || location.href === 'about:blank')"_s;

const QString CollectScript = uR"((() => {
    if (%1)
        return null;
    const links = document.links;
    const n = links.length;
    const parts = new Array(2 * n);
    for (let i = 0; i < n; ++i) {
        const a = links[i];
        const text = a.innerText;
        parts[2 * i] = a.href;
        parts[2 * i + 1] = text.indexOf('\x1f') < 0 && text.indexOf('\x1e') < 0 ? text
            : text.replace(/[\x1e\x1f]/g, (c) => (c === '\x1e' ? '\x1e0' : '\x1e1'));
    }
    return parts.join('\x1f');
})())"_s.arg(NotTheUsersDocument);

// How long the document's links have stood still: a watch of the document's changes to links
// (added, removed, edited, re-addressed), started by the first question.
const QString QuietScript = uR"((() => {
    if (%1)
        return null;
    if (!window.lexhaulQuiet) {
        const quiet = (window.lexhaulQuiet = { since: performance.now() });
        const link = 'a[href], area[href]';
        const inLink = (node) => {
            const element = node.nodeType === Node.ELEMENT_NODE ? node : node.parentElement;
            return !!(element && element.closest(link));
        };
        const holdsLink = (node) => node.nodeType === Node.ELEMENT_NODE
            && (node.matches(link) || !!node.querySelector(link));
        new MutationObserver((records) => {
            for (const record of records) {
                if (inLink(record.target) || Array.prototype.some.call(record.addedNodes, holdsLink)
                    || Array.prototype.some.call(record.removedNodes, holdsLink)) {
                    quiet.since = performance.now();
                    return;
                }
            }
        }).observe(document, { subtree: true, childList: true, characterData: true, attributes: true });
    }
    return Math.floor(performance.now() - window.lexhaulQuiet.since);
})())"_s.arg(NotTheUsersDocument);

// Marks the document the engine holds as one the pane has left. A navigation within it (only
// the fragment changes) keeps it, and with it the mark goes.
const QString LeaveScript = uR"(window.lexhaulLeft = true;
window.addEventListener('hashchange', () => { window.lexhaulLeft = false; }, { once: true });)"_s;

QString unescaped(QStringView text)
{
    if (!text.contains(Esc))
        return text.toString();
    QString plain;
    plain.reserve(text.size());
    for (qsizetype k = 0; k < text.size(); ++k) {
        if (text.at(k) != Esc)
            plain.append(text.at(k));
        else if (k + 1 < text.size())
            plain.append(text.at(++k) == u'1' ? Sep : Esc);
    }
    return plain;
}

PageLinks decoded(QStringView joined)
{
    PageLinks links;
    if (joined.isEmpty())
        return links;
    links.reserve(joined.count(Sep) / 2 + 1);
    qsizetype from = 0;
    const auto field = [&] {
        const qsizetype sep = joined.indexOf(Sep, from);
        const QStringView value = joined.sliced(from, (sep < 0 ? joined.size() : sep) - from);
        from = sep < 0 ? joined.size() + 1 : sep + 1;
        return value;
    };
    while (from <= joined.size()) {
        const QStringView address = field();
        links.append(PageLink {address.toString(), unescaped(field())});
    }
    return links;
}

} // namespace

BrowserPane::BrowserPane(QWidget *parent)
    : QWebEngineView(parent)
{
    setPage(new UnattendedPage(this));
    setContextMenuPolicy(Qt::NoContextMenu);
    UnattendedPage::keepWindowsOffScreen(this);
    connect(page(), &QWebEnginePage::renderProcessTerminated, this, [this] {
        if (m_load.stage != PageLoad::Stage::None && m_load.stage != PageLoad::Stage::Failed)
            m_load = {PageLoad::Stage::Crashed};
        m_rendererGone = true;
        m_askedAt.invalidate();
        cancelCollection();
    });
    connect(page(), &QWebEnginePage::loadingChanged, this,
            [this](const QWebEngineLoadingInfo &info) {
                switch (info.status()) {
                case QWebEngineLoadingInfo::LoadStartedStatus:
                    m_load = {PageLoad::Stage::Loading};
                    break;
                case QWebEngineLoadingInfo::LoadSucceededStatus:
                    m_load = {PageLoad::Stage::Loaded};
                    break;
                case QWebEngineLoadingInfo::LoadFailedStatus:
                    // A load that another one replaced is no failure of the page's.
                    if (info.errorCode() != AbortedError)
                        m_load = {PageLoad::Stage::Failed, info.errorDomain(), info.errorCode()};
                    break;
                case QWebEngineLoadingInfo::LoadStoppedStatus:
                    break;
                }
            });
}

BrowserPane::~BrowserPane() = default;

bool BrowserPane::navigate(const QString &text)
{
    if (text.isEmpty())
        return false;
    const QUrl url = QUrl::fromUserInput(text);
    if (!url.isValid() || url.isEmpty())
        return false;
    // A document that has left a question unanswered until the pane moves on is stuck in a
    // script that never yields, or too busy to matter now, and its process with it: a fresh
    // process loads the next one.
    if (m_askedAt.isValid())
        restartRenderer();
    // Sent ahead of the load, so the engine marks the document it holds before the new one
    // can take its place.
    page()->runJavaScript(LeaveScript, ScriptWorldId);
    m_navigated = true;
    m_rendererGone = false;
    m_load = {PageLoad::Stage::Loading};
    load(url);
    Q_EMIT navigationRequested(url);
    return true;
}

LinkCollection BrowserPane::collectLinks(int timeoutMs)
{
    if (!m_navigated || m_rendererGone)
        return {};
    struct Answer
    {
        bool arrived = false;
        QVariant value;
    };
    // Shared: the engine may answer after the wait has given up.
    const auto answer = std::make_shared<Answer>();
    QEventLoop loop;
    const QPointer<QEventLoop> waiting(&loop);
    const QPointer<BrowserPane> self(this);
    asked();
    page()->runJavaScript(CollectScript, ScriptWorldId,
                          [answer, waiting, self](const QVariant &value) {
                              answer->arrived = true;
                              answer->value = value;
                              if (self)
                                  self->answered();
                              if (waiting)
                                  waiting->quit();
                          });
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    bool cancelled = false;
    const auto cancel = connect(this, &BrowserPane::collectionCancelled, &loop, [&] {
        cancelled = true;
        loop.quit();
    });
    if (!answer->arrived)
        loop.exec();
    disconnect(cancel);

    if (cancelled && !m_rendererGone)
        return {LinkCollection::Outcome::Abandoned, {}};
    if (!answer->arrived)
        return {m_rendererGone ? LinkCollection::Outcome::NoDocument
                               : LinkCollection::Outcome::NoAnswer,
                {}};
    if (answer->value.typeId() != QMetaType::QString)
        return {};
    const QString joined = answer->value.toString();
    if (joined.size() < DecodeAsideChars)
        return {LinkCollection::Outcome::Collected, decoded(joined)};
    // Hundreds of thousands of links take tens of milliseconds to split: aside, while the
    // window goes on drawing and answering.
    PageLinks links;
    QEventLoop decoding;
    std::thread worker([&] {
        links = decoded(joined);
        QMetaObject::invokeMethod(&decoding, &QEventLoop::quit, Qt::QueuedConnection);
    });
    decoding.exec();
    worker.join();
    return {LinkCollection::Outcome::Collected, std::move(links)};
}

void BrowserPane::cancelCollection()
{
    Q_EMIT collectionCancelled();
}

void BrowserPane::askLinksQuietMs(const std::function<void(std::optional<int>)> &answer)
{
    const QPointer<BrowserPane> self(this);
    asked();
    page()->runJavaScript(QuietScript, ScriptWorldId, [self, answer](const QVariant &value) {
        if (!self)
            return;
        self->answered();
        answer(value.isNull() ? std::nullopt : std::optional(value.toInt()));
    });
}

void BrowserPane::asked()
{
    if (!m_askedAt.isValid())
        m_askedAt.start();
}

bool BrowserPane::unansweredFor(int ms) const
{
    return m_askedAt.isValid() && m_askedAt.elapsed() >= ms;
}

void BrowserPane::restartRenderer()
{
    m_askedAt.invalidate();
    const qint64 pid = page()->renderProcessPid();
    if (pid <= 0 || m_rendererGone)
        return;
    QEventLoop loop;
    connect(page(), &QWebEnginePage::renderProcessTerminated, &loop, &QEventLoop::quit);
    QTimer::singleShot(RestartWaitMs, &loop, &QEventLoop::quit);
    ::kill(pid_t(pid), SIGKILL);
    if (!m_rendererGone)
        loop.exec();
    m_rendererGone = true;
}
