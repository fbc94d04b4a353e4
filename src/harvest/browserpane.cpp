#include "harvest/browserpane.h"
#include "harvest/unattendedpage.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>
#include <QWebEngineLoadingInfo>

#include <csignal>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// Control characters of the collection's records (see scripts/collect.js).
constexpr QChar Escape {0x1d};
constexpr QChar RecordSep {0x1e};
constexpr QChar FieldSep {0x1f};

static_assert(int(PageLoad::Domain::HttpStatus) == QWebEngineLoadingInfo::HttpStatusCodeDomain
              && int(PageLoad::Domain::Certificate)
                  == QWebEngineLoadingInfo::CertificateErrorDomain);

// The engine's error for a load that another load replaced (net::ERR_ABORTED).
constexpr int AbortedError = -3;
// From this length on, a collection is split into links on a thread of its own.
constexpr qsizetype DecodeAsideChars = 1 << 20;

// The longest the pane waits for the engine to notice a render process it ended.
constexpr int RestartWaitMs = 5000;

QString resourceText(const QString &name)
{
    QFile file(u":/lexhaul/scripts/"_s + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing script resource %s", qPrintable(name));
    return QString::fromUtf8(file.readAll());
}

// A script of scripts/, with the test for a document that is not the user's in its place.
QString script(const QString &name)
{
    QString notUsers;
    for (const QString &line : resourceText(u"notusers.js"_s).split(u'\n')) {
        if (!line.startsWith(u"//"))
            notUsers += line;
    }
    return resourceText(name).replace(u"NOT_THE_USERS_DOCUMENT"_s, notUsers.trimmed());
}

QString collectScript(const CollectionRequest &request)
{
    static const QString text = script(u"collect.js"_s);
    static const QString everyLink = QString(text).replace(u"REQUEST"_s, u"null"_s);
    if (!request.listsOnly && request.selector.isEmpty())
        return everyLink;
    // A selector is the user's text: it reaches the script as a string literal, nothing else.
    QJsonObject asked;
    if (!request.selector.isEmpty())
        asked.insert(u"selector"_s, request.selector);
    else
        asked.insert(u"layout"_s, true);
    return QString(text).replace(
        u"REQUEST"_s, QString::fromUtf8(QJsonDocument(asked).toJson(QJsonDocument::Compact)));
}

const QString &quietScript()
{
    static const QString text = script(u"quiet.js"_s);
    return text;
}

const QString &leaveScript()
{
    static const QString text = resourceText(u"leave.js"_s);
    return text;
}

QString unescaped(QStringView text)
{
    if (!text.contains(Escape))
        return text.toString();
    QString plain;
    plain.reserve(text.size());
    for (qsizetype k = 0; k < text.size(); ++k) {
        if (text.at(k) != Escape)
            plain.append(text.at(k));
        else if (k + 1 < text.size())
            plain.append(QChar(Escape.unicode() + (text.at(++k).unicode() - u'0')));
    }
    return plain;
}

PageLinks decoded(QStringView joined)
{
    PageLinks links;
    if (joined.isEmpty())
        return links;
    links.reserve(joined.count(RecordSep) + 1);
    for (qsizetype from = 0; from <= joined.size();) {
        qsizetype end = joined.indexOf(RecordSep, from);
        if (end < 0)
            end = joined.size();
        const QStringView record = joined.sliced(from, end - from);
        from = end + 1;
        PageLink link;
        qsizetype field = 0;
        for (qsizetype start = 0; start <= record.size(); ++field) {
            qsizetype stop = record.indexOf(FieldSep, start);
            if (stop < 0)
                stop = record.size();
            const QStringView value = record.sliced(start, stop - start);
            start = stop + 1;
            if (field == 0)
                link.address = value.toString();
            else if (field == 1)
                link.text = unescaped(value);
            else
                link.segments.append(unescaped(value));
        }
        links.append(std::move(link));
    }
    return links;
}

// The records and, when asked for, the layout after them (see scripts/collect.js).
LinkCollection decodedCollection(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return {LinkCollection::Outcome::Collected, decoded(value.toString())};
    const QVariantList parts = value.toList();
    if (parts.size() != 4)
        return {};
    LinkCollection collection {LinkCollection::Outcome::Collected, decoded(parts.at(0).toString())};
    LinkLayout layout;
    const QString kindNames = parts.at(1).toString();
    for (const QStringView name : QStringView(kindNames).tokenize(FieldSep))
        layout.kindNames.append(unescaped(name));
    const qsizetype links = collection.links.size();
    layout.parents.resize(links, -1);
    layout.kinds.resize(links, 0);
    const QString numbers = parts.at(2).toString();
    const auto tokens = QStringView(numbers).tokenize(u',');
    auto number = tokens.begin();
    const auto next = [&, end = tokens.end()] { return number != end ? (*number++).toInt() : -1; };
    QList<int> above; // the last link's ancestors, from the root down
    for (qsizetype link = 0; link < links; ++link) {
        const int shared = next();
        const int count = next();
        if (shared < 0 || shared > above.size() || count < 1)
            return {};
        above.resize(shared);
        for (int k = 0; k < count; ++k) {
            const int node = k == count - 1 ? int(link) : int(layout.parents.size());
            if (node != link)
                layout.parents.append(-1), layout.kinds.append(0);
            layout.parents[node] = above.isEmpty() ? -1 : above.last();
            layout.kinds[node] = next();
            above.append(node);
        }
    }
    const QString pieces = parts.at(3).toString();
    for (const QStringView node : QStringView(pieces).tokenize(RecordSep, Qt::SkipEmptyParts)) {
        QStringList texts;
        for (const QStringView text : node.tokenize(FieldSep))
            texts.append(unescaped(text));
        layout.pieces.insert(texts.takeFirst().toInt(), texts);
    }
    collection.layout = std::move(layout);
    return collection;
}

qsizetype answerSize(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString().size();
    qsizetype size = 0;
    for (const QVariant &part : value.toList())
        size += part.toString().size();
    return size;
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
                        m_load = {PageLoad::Stage::Failed,
                                  PageLoad::Domain(int(info.errorDomain())), info.errorCode()};
                    break;
                case QWebEngineLoadingInfo::LoadStoppedStatus:
                    break;
                }
            });
}

BrowserPane::~BrowserPane()
{
    // Its answer is posted to the pane, and goes with it.
    joinDecoder();
}

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
    page()->runJavaScript(leaveScript(), ScriptWorldId);
    m_navigated = true;
    m_rendererGone = false;
    m_load = {PageLoad::Stage::Loading};
    load(url);
    Q_EMIT navigationRequested(url);
    return true;
}

void BrowserPane::collectLinks(const CollectionRequest &request, int timeoutMs,
                               const LinksAnswer &answer)
{
    if (!m_navigated || m_rendererGone) {
        answer({});
        return;
    }
    // Shared with the engine's answer, which may come after the collection has ended.
    const auto pending = std::make_shared<PendingCollection>();
    pending->answer = answer;
    m_pending.append(pending);
    QTimer::singleShot(timeoutMs, this, [this, waiting = std::weak_ptr(pending)] {
        const auto expired = waiting.lock();
        if (expired && !expired->decoding)
            finish(*expired,
                   {m_rendererGone ? LinkCollection::Outcome::NoDocument
                                   : LinkCollection::Outcome::NoAnswer,
                    {}});
    });
    asked();
    const QPointer<BrowserPane> self(this);
    page()->runJavaScript(
        collectScript(request), ScriptWorldId, [self, pending](const QVariant &value) {
            if (!self)
                return;
            self->answered();
            if (pending->done)
                return;
            // Null: no document of the user's (or a script error).
            if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::QVariantList) {
                self->finish(*pending, {});
                return;
            }
            if (answerSize(value) < DecodeAsideChars) {
                self->finish(*pending, decodedCollection(value));
                return;
            }
            // Hundreds of thousands of links take tens of milliseconds to split: aside, while
            // the window goes on drawing and answering.
            pending->decoding = true;
            self->joinDecoder();
            self->m_decoder = std::thread([self = self.data(), pending, value] {
                auto collection = std::make_shared<LinkCollection>(decodedCollection(value));
                QMetaObject::invokeMethod(
                    self,
                    [self, pending, collection] { self->finish(*pending, std::move(*collection)); },
                    Qt::QueuedConnection);
            });
        });
}

void BrowserPane::checkSelectors(const QStringList &selectors,
                                 const std::function<void(QList<bool>)> &answer)
{
    // Parsed against a fragment of whatever document is there: nothing of a page is touched.
    const QString code = u"%1.map((s) => { try { document.createDocumentFragment()"
                         ".querySelector(s); return true; } catch (e) { return false; } })"_s.arg(
                             QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(selectors))
                                                   .toJson(QJsonDocument::Compact)));
    const QPointer<BrowserPane> self(this);
    page()->runJavaScript(code, ScriptWorldId, [self, answer](const QVariant &value) {
        if (!self)
            return;
        QList<bool> verdicts;
        for (const QVariant &verdict : value.toList())
            verdicts.append(verdict.toBool());
        answer(verdicts);
    });
}

void BrowserPane::finish(PendingCollection &pending, LinkCollection collection)
{
    if (pending.done)
        return;
    pending.done = true;
    m_pending.removeIf([&](const auto &p) { return p.get() == &pending; });
    // Whoever waits may go on at once, and may ask again.
    const LinksAnswer answer = std::exchange(pending.answer, {});
    answer(std::move(collection));
}

void BrowserPane::cancelCollection()
{
    const LinkCollection::Outcome outcome
        = m_rendererGone ? LinkCollection::Outcome::NoDocument : LinkCollection::Outcome::Abandoned;
    for (const auto &pending : QList(m_pending))
        finish(*pending, {outcome, {}});
}

void BrowserPane::joinDecoder()
{
    if (m_decoder.joinable())
        m_decoder.join();
}

void BrowserPane::askLinksQuietMs(const std::function<void(std::optional<int>)> &answer)
{
    const QPointer<BrowserPane> self(this);
    asked();
    page()->runJavaScript(quietScript(), ScriptWorldId, [self, answer](const QVariant &value) {
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
