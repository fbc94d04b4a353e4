#include "browserpane.h"

#include <QFile>
#include <QElapsedTimer>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonValue>
#include <QPointer>
#include <QTimer>
#include <QWebChannel>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineScriptCollection>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

// How often the pane makes a dirty document flush. Page timers are throttled to a second
// or more in hidden pages (a minimised window), so the pane drives the flushes itself.
constexpr int NudgeIntervalMs = 40;

QString readResource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("BrowserPane: resource %s is missing", qPrintable(path));
    return QString::fromUtf8(file.readAll());
}

// qwebchannel.js and our script share one injection, so QWebChannel is defined in the same
// isolated world the script runs in.
const QString &mirrorScriptSource()
{
    static const QString source = readResource(u":/qtwebchannel/qwebchannel.js"_s) + u"\n"_s
        + readResource(u":/lexhaul/harvest/linkmirror.js"_s);
    return source;
}

// The flat [address, text, address, text, ...] array the script pushes.
std::optional<PageLinks> decodeLinks(const QJsonArray &flat)
{
    if (flat.size() % 2 != 0)
        return std::nullopt;
    PageLinks links;
    links.reserve(flat.size() / 2);
    for (qsizetype i = 0; i < flat.size(); i += 2) {
        const QJsonValue address = flat.at(i);
        const QJsonValue text = flat.at(i + 1);
        if (!address.isString() || !text.isString())
            return std::nullopt;
        links.append(PageLink { address.toString(), text.toString() });
    }
    return links;
}

} // namespace

// The object the injected script talks to over the web channel, and the mirror it fills.
//
// Documents are told apart by the random token each one makes at creation, and ordered by
// their creation time: a push from the current document replaces the mirror; a push from
// an unknown document replaces it only if that document is newer than every one seen so
// far, so whatever an older document sends late (even from another render process) is
// dropped.
class BrowserPane::Mirror : public QObject
{
    Q_OBJECT

public:
    explicit Mirror(BrowserPane *pane);

    void detach();

    // Called from the script only.
    Q_INVOKABLE void push(const QString &token, double created, const QJsonValue &links);
    Q_INVOKABLE void dirty(const QString &token);
    Q_INVOKABLE void settled(const QString &token);

    std::optional<PageLinks> m_links;

private:
    void forgetDocument();
    void nudge();

    BrowserPane *m_pane;
    QWebChannel *m_channel;
    QTimer m_nudge;
    QString m_token; // empty while no document of ours is current
    double m_newest = -std::numeric_limits<double>::infinity();
};

BrowserPane::Mirror::Mirror(BrowserPane *pane)
    : QObject(pane)
    , m_pane(pane)
    , m_channel(new QWebChannel(this))
{
    m_channel->registerObject(u"lexhaulMirror"_s, this);
    QWebEnginePage *page = pane->page();
    page->setWebChannel(m_channel, ScriptWorldId);

    QWebEngineScript script;
    script.setName(u"lexhaul-link-mirror"_s);
    script.setSourceCode(mirrorScriptSource());
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(ScriptWorldId);
    script.setRunsOnSubFrames(false);
    page->scripts().insert(script);

    m_nudge.setInterval(NudgeIntervalMs);
    connect(&m_nudge, &QTimer::timeout, this, &Mirror::nudge);

    // A terminated render process took its document along.
    connect(page, &QWebEnginePage::renderProcessTerminated, this, &Mirror::forgetDocument);
    // The engine's own error page replaced the document. Our script says so itself when it
    // runs there; this covers error pages it does not run in.
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus && info.isErrorPage())
            forgetDocument();
    });
}

void BrowserPane::Mirror::detach()
{
    m_nudge.stop();
    disconnect(m_pane->page(), nullptr, this, nullptr);
    m_pane->page()->setWebChannel(nullptr, ScriptWorldId);
}

void BrowserPane::Mirror::push(const QString &token, double created, const QJsonValue &links)
{
    QElapsedTimer et; et.start();
    struct L { QElapsedTimer &e; ~L() { qInfo() << "PUSH took" << e.elapsed() << QDateTime::currentMSecsSinceEpoch(); } } l{et};
    qInfo() << "PUSH" << QDateTime::currentMSecsSinceEpoch() << token << qint64(created) << qint64(m_newest) << (token == m_token) << (links.isArray() ? links.toArray().size() : -1);
    if (token.isEmpty() || (token != m_token && !(created > m_newest)))
        return;
    // null: the script runs in a page that is not a document of the user's (an error page).
    std::optional<PageLinks> decoded;
    if (links.isArray()) {
        decoded = decodeLinks(links.toArray());
        if (!decoded)
            return;
    } else if (!links.isNull()) {
        return;
    }
    if (token != m_token) {
        m_token = token;
        m_newest = created;
    }
    m_nudge.stop();
    if (decoded == m_links)
        return;
    m_links = std::move(decoded);
    Q_EMIT m_pane->linksChanged();
}

void BrowserPane::Mirror::dirty(const QString &token)
{
    if (token == m_token && !m_token.isEmpty() && !m_nudge.isActive())
        m_nudge.start();
}

void BrowserPane::Mirror::settled(const QString &token)
{
    if (token == m_token)
        m_nudge.stop();
}

void BrowserPane::Mirror::forgetDocument()
{
    m_nudge.stop();
    m_token.clear();
    if (!m_links)
        return;
    m_links.reset();
    Q_EMIT m_pane->linksChanged();
}

void BrowserPane::Mirror::nudge()
{
    m_pane->page()->runJavaScript(
        u"typeof lexhaulFlush === 'function' && lexhaulFlush()"_s, ScriptWorldId);
}

BrowserPane::BrowserPane(QWidget *parent)
    : QWebEngineView(parent)
    , m_mirror(new Mirror(this))
{
}

BrowserPane::~BrowserPane()
{
    // The page outlives this body (QWebEngineView deletes it later): leave it no channel.
    m_mirror->detach();
    delete m_mirror;
}

void BrowserPane::navigate(const QString &text)
{
    if (text.isEmpty())
        return;
    const QUrl url = QUrl::fromUserInput(text);
    if (!url.isValid() || url.isEmpty())
        return;
    load(url);
    Q_EMIT navigationRequested(url);
}

std::optional<PageLinks> BrowserPane::links() const
{
    return m_mirror->m_links;
}

#include "browserpane.moc"
