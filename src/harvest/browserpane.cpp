#include "harvest/browserpane.h"
#include "harvest/unattendedpage.h"

#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QWebChannel>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineScriptCollection>

#include <algorithm>
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

// The list as the script sends it: "address SEP text SEP ..." with ESC '0' / ESC '1' standing
// for ESC / SEP inside texts. nullopt when it does not hold `count` links.
std::optional<PageLinks> decodeLinks(int count, const QString &payload)
{
    constexpr QChar Sep(0x1f);
    constexpr QChar Esc(0x1e);
    PageLinks links;
    if (count == 0)
        return payload.isEmpty() ? std::optional(links) : std::nullopt;
    const QList<QStringView> fields = QStringView(payload).split(Sep);
    if (count < 0 || fields.size() != 2 * qsizetype(count))
        return std::nullopt;
    links.reserve(count);
    for (qsizetype i = 0; i < fields.size(); i += 2) {
        const QString address = fields.at(i).toString();
        const QStringView text = fields.at(i + 1);
        if (!text.contains(Esc)) {
            links.append(PageLink {address, text.toString()});
            continue;
        }
        QString unescaped;
        unescaped.reserve(text.size());
        for (qsizetype k = 0; k < text.size(); ++k) {
            if (text.at(k) != Esc) {
                unescaped.append(text.at(k));
            } else if (k + 1 < text.size()) {
                unescaped.append(text.at(++k) == u'1' ? Sep : Esc);
            }
        }
        links.append(PageLink {address, unescaped});
    }
    return links;
}

} // namespace

// The object the injected script talks to over the web channel, and the mirror it fills.
//
// Documents are told apart by the random token each one makes at creation, and ordered by
// their creation time: a push from the current document replaces the mirror; a push from
// another document replaces it only if that document is newer than every one seen so far,
// so whatever an older document sends late (even from another render process) is dropped.
// Creation times are wall-clock times; should the clock go back, the engine is asked which
// document it holds, and that one is taken on.
class BrowserPane::Mirror : public QObject
{
    Q_OBJECT

public:
    explicit Mirror(BrowserPane *pane);

    void detach();

    // Called from the script only.
    Q_INVOKABLE void push(const QString &token, double created, int count, const QString &payload);
    Q_INVOKABLE void dirty(const QString &token);
    Q_INVOKABLE void settled(const QString &token);

    std::optional<PageLinks> m_links;

private:
    void adopt(const QString &token, double created);
    void confirm(const QString &token, double created);
    void forgetDocument();
    void ensureScript();
    void nudge();

    BrowserPane *m_pane;
    QWebChannel *m_channel;
    QTimer m_nudge;
    QString m_token; // empty while no document of ours is current
    quint64 m_generation = 0; // counts the changes of m_token
    QString m_confirming; // the token confirm() asks the engine about
    bool m_committed = false; // a load has replaced the page's initial empty document
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
    // The engine now and then commits a page's first document before it has the page's
    // scripts (seen when a new page reuses a render process). So after each load, run the
    // script in whatever document is current; it does nothing where it runs already. The
    // empty document a page starts with is left alone: the engine holds no document until
    // a load has committed one.
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        switch (info.status()) {
        case QWebEngineLoadingInfo::LoadStartedStatus:
            return;
        case QWebEngineLoadingInfo::LoadSucceededStatus:
            m_committed = true;
            break;
        case QWebEngineLoadingInfo::LoadFailedStatus:
            m_committed = m_committed || info.isErrorPage();
            break;
        case QWebEngineLoadingInfo::LoadStoppedStatus:
            break;
        }
        if (m_committed)
            ensureScript();
    });
}

void BrowserPane::Mirror::detach()
{
    m_nudge.stop();
    disconnect(m_pane->page(), nullptr, this, nullptr);
    m_pane->page()->setWebChannel(nullptr, ScriptWorldId);
}

void BrowserPane::Mirror::push(const QString &token, double created, int count,
                               const QString &payload)
{
    m_committed = true;
    if (token.isEmpty())
        return;
    if (token != m_token && !(created > m_newest)) {
        confirm(token, created);
        return;
    }
    // A negative count: the script runs in a page that is no document of the user's (the
    // engine's error page).
    std::optional<PageLinks> decoded;
    if (count >= 0) {
        decoded = decodeLinks(count, payload);
        if (!decoded)
            return;
    }
    if (token != m_token)
        adopt(token, created);
    m_nudge.stop();
    if (decoded == m_links)
        return;
    m_links = std::move(decoded);
    Q_EMIT m_pane->linksChanged();
}

void BrowserPane::Mirror::adopt(const QString &token, double created)
{
    m_token = token;
    m_newest = std::max(m_newest, created);
    ++m_generation;
}

// A push that looks older than the current document: a late one from a document the
// engine has left (dropped), or the clock went back. The engine's answer settles it.
void BrowserPane::Mirror::confirm(const QString &token, double created)
{
    if (token == m_confirming)
        return;
    m_confirming = token;
    const quint64 generation = m_generation;
    const QPointer<Mirror> self(this);
    m_pane->page()->runJavaScript(
        u"typeof lexhaulToken === 'function' ? lexhaulToken() : ''"_s, ScriptWorldId,
        [self, token, created, generation](const QVariant &current) {
            if (!self)
                return;
            if (self->m_confirming == token)
                self->m_confirming.clear();
            if (self->m_generation != generation || current.toString() != token)
                return;
            // Its pushes so far were dropped: have them sent again.
            self->adopt(token, created);
            self->m_pane->page()->runJavaScript(
                u"typeof lexhaulFlush === 'function' && lexhaulFlush(true)"_s, ScriptWorldId);
        });
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
    ++m_generation;
    if (!m_links)
        return;
    m_links.reset();
    Q_EMIT m_pane->linksChanged();
}

// A document our script cannot run in is none we can mirror. The answer counts only if no
// document came or went since the question was asked.
void BrowserPane::Mirror::ensureScript()
{
    static const QString run = mirrorScriptSource()
        + u"\n;typeof lexhaulFlush === 'function' && (lexhaulFlush(), true)"_s;
    const quint64 generation = m_generation;
    const QPointer<Mirror> self(this);
    m_pane->page()->runJavaScript(run, ScriptWorldId, [self, generation](const QVariant &ran) {
        if (self && self->m_generation == generation && !ran.toBool())
            self->forgetDocument();
    });
}

void BrowserPane::Mirror::nudge()
{
    m_pane->page()->runJavaScript(u"typeof lexhaulFlush === 'function' && lexhaulFlush()"_s,
                                  ScriptWorldId);
}

BrowserPane::BrowserPane(QWidget *parent)
    : QWebEngineView(parent)
{
    setPage(new UnattendedPage(this));
    setContextMenuPolicy(Qt::NoContextMenu);
    UnattendedPage::keepWindowsOffScreen(this);
    m_mirror = new Mirror(this);
}

BrowserPane::~BrowserPane()
{
    // The page outlives this body (a child, deleted later): leave it no channel.
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
