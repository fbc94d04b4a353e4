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

// Decodes a list as the script sends it, in pieces cut anywhere: "address SEP text SEP ..."
// with ESC '0' / ESC '1' standing for ESC / SEP inside texts. A piece costs time in proportion
// to its length, so the window's thread is never held up for long.
class ListDecoder
{
public:
    ListDecoder(int count, int length)
        : m_count(count)
        , m_length(length)
    {
        m_links.reserve(std::min(count, length / 2 + 1)); // a link takes a separator at least
    }

    qsizetype received() const { return m_received; }
    bool isComplete() const { return m_received == m_length; }

    // False when the piece does not fit the announced length.
    bool feed(QStringView piece)
    {
        if (piece.size() > m_length - m_received)
            return false;
        m_received += piece.size();
        qsizetype from = 0;
        for (qsizetype sep; (sep = piece.indexOf(Sep, from)) >= 0; from = sep + 1) {
            if (m_carry.isEmpty()) {
                field(piece.sliced(from, sep - from));
            } else {
                m_carry += piece.sliced(from, sep - from);
                field(m_carry);
                m_carry.clear();
            }
        }
        m_carry += piece.sliced(from);
        if (isComplete() && m_length > 0) {
            field(m_carry);
            m_carry.clear();
        }
        return true;
    }

    // The links once complete; nullopt when they are not the announced `count`.
    std::optional<PageLinks> take()
    {
        if (!isComplete() || m_inText || m_links.size() != m_count)
            return std::nullopt;
        return std::move(m_links);
    }

private:
    static constexpr QChar Sep {0x1f};
    static constexpr QChar Esc {0x1e};

    void field(QStringView value)
    {
        m_inText = !m_inText;
        if (m_inText) {
            m_address = value.toString();
            return;
        }
        if (!value.contains(Esc)) {
            m_links.append(PageLink {m_address, value.toString()});
            return;
        }
        QString unescaped;
        unescaped.reserve(value.size());
        for (qsizetype k = 0; k < value.size(); ++k) {
            if (value.at(k) != Esc) {
                unescaped.append(value.at(k));
            } else if (k + 1 < value.size()) {
                unescaped.append(value.at(++k) == u'1' ? Sep : Esc);
            }
        }
        m_links.append(PageLink {m_address, unescaped});
    }

    int m_count;
    qsizetype m_length;
    qsizetype m_received = 0;
    PageLinks m_links;
    QString m_address;
    QString m_carry; // the beginning of a field the last piece cut
    bool m_inText = false; // the last field was an address
};

// A document's token as the script makes it: base-36 numbers joined by dots.
bool isToken(const QString &token)
{
    return !token.isEmpty() && std::ranges::all_of(token, [](QChar c) {
        return c == u'.' || (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z');
    });
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
//
// A push carries the beginning of its list; the rest is pulled from the same document in
// pieces with runJavaScript, whose answers bypass the channel's JSON, and each piece is
// decoded as it comes. The mirror changes only once the list is complete; a newer push, or
// another document, abandons a list still arriving.
class BrowserPane::Mirror : public QObject
{
    Q_OBJECT

public:
    explicit Mirror(BrowserPane *pane);

    void detach();

    // Called from the script only.
    Q_INVOKABLE void push(const QString &token, double created, int version, int count, int length,
                          const QString &first);
    Q_INVOKABLE void dirty(const QString &token);
    Q_INVOKABLE void settled(const QString &token);

    std::optional<PageLinks> m_links;

private:
    void adopt(const QString &token, double created);
    void receive(QStringView piece);
    void pull();
    void set(std::optional<PageLinks> links);
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
    // The list being received: pushed by the current document as its `version`.
    struct Incoming
    {
        int version;
        ListDecoder decoder;
    };
    std::optional<Incoming> m_incoming;
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

void BrowserPane::Mirror::push(const QString &token, double created, int version, int count,
                               int length, const QString &first)
{
    m_committed = true;
    if (!isToken(token))
        return;
    if (token != m_token && !(created > m_newest)) {
        confirm(token, created);
        return;
    }
    if (token != m_token)
        adopt(token, created);
    m_nudge.stop();
    m_incoming.reset();
    // A negative count: the script runs in a page that is no document of the user's (the
    // engine's error page).
    if (count < 0) {
        set(std::nullopt);
        return;
    }
    if (length < 0)
        return;
    m_incoming.emplace(Incoming {version, ListDecoder(count, length)});
    receive(first);
}

void BrowserPane::Mirror::receive(QStringView piece)
{
    if (!m_incoming->decoder.feed(piece)) {
        m_incoming.reset();
        return;
    }
    if (!m_incoming->decoder.isComplete()) {
        pull();
        return;
    }
    std::optional<PageLinks> links = m_incoming->decoder.take();
    m_incoming.reset();
    if (links)
        set(std::move(links));
}

// Fetches the next piece of the list being received. A piece that comes back after another
// list or document took its place is dropped; a null answer means the script has pushed a
// newer list meanwhile, which replaces this one.
void BrowserPane::Mirror::pull()
{
    const int version = m_incoming->version;
    const quint64 generation = m_generation;
    const QPointer<Mirror> self(this);
    // The token goes into the script as it is: isToken() let only digits, letters and dots in.
    m_pane->page()->runJavaScript(
        u"typeof lexhaulChunk === 'function' ? lexhaulChunk('%1', %2, %3) : null"_s.arg(
            m_token, QString::number(version), QString::number(m_incoming->decoder.received())),
        ScriptWorldId, [self, version, generation](const QVariant &piece) {
            if (!self || self->m_generation != generation || !self->m_incoming
                || self->m_incoming->version != version)
                return;
            if (piece.typeId() != QMetaType::QString || piece.toString().isEmpty()) {
                self->m_incoming.reset();
                return;
            }
            self->receive(piece.toString());
        });
}

void BrowserPane::Mirror::set(std::optional<PageLinks> links)
{
    if (links == m_links)
        return;
    m_links = std::move(links);
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
    m_incoming.reset();
    set(std::nullopt);
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
