// BrowserPane against the real engine, with pages from a LoopbackServer on 127.0.0.1 (every
// other request is blocked). The reference for the mirror is the live DOM's links, read by
// JavaScript in the page's main world.

#include "harvest/browserpane.h"
#include "support/guisupport.h"
#include "support/loopbackserver.h"
#include "support/testfiles.h"
#include "support/wait.h"

#include <QApplication>
#include <QDateTime>
#include <QWebEnginePage>
#include <QWidget>

#include <algorithm>
#include <csignal>
#include <memory>

using namespace Qt::StringLiterals;

void PrintTo(const PageLink &link, std::ostream *out)
{
    *out << '[' << link.address.toStdString() << " | " << link.text.toStdString() << ']';
}

namespace {

// A page whose script makes the links <prefix>/0 .. <prefix>/<count - 1>, texts "<prefix> <i>",
// then runs `script`, which may call more(n) to append the next n such links.
QByteArray linksPage(const QString &prefix, int count, const QString &script = {})
{
    return uR"(<!doctype html><meta charset="utf-8"><body><script>
let next = 0;
function more(n) {
    for (const end = next + n; next < end; ++next)
        document.body.insertAdjacentHTML('beforeend', `<p><a href="%1/${next}">%1 ${next}</a>`);
}
more(%2);
%3</script>)"_s.arg(prefix, QString::number(count), script)
        .toUtf8();
}

class BrowserPaneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        allowLoopbackOnly();
        // The main window's geometry: the pane sits just below the visible area.
        m_window.setFixedSize(556, 312);
        m_pane->setGeometry(16, 312, 2, 9);
        QObject::connect(m_pane, &BrowserPane::linksChanged, m_pane, [this] {
            m_observed.append({QDateTime::currentMSecsSinceEpoch(), m_pane->links()}); // Date.now()
        });
        m_window.show();
    }

    QUrl url(const QString &path) const { return m_server.url(path); }

    QVariant runJs(const QString &code)
    {
        // Shared: the answer may still come after we gave up waiting.
        const auto answer = std::make_shared<std::optional<QVariant>>();
        m_pane->page()->runJavaScript(code, [answer](const QVariant &value) { *answer = value; });
        EXPECT_TRUE(waitUntil([&] { return answer->has_value(); }, 20000)) << code.toStdString();
        return answer->value_or(QVariant());
    }

    // Waits until the engine holds the loaded document from `path` and the mirror equals its
    // links as the page's main world sees them.
    ::testing::AssertionResult settles(const QString &path, int timeoutMs = 15000)
    {
        PageLinks dom;
        const auto equal = [&] {
            const QVariant rows = runJs(u"location.href == '%1' && document.readyState == "
                                        "'complete' && Array.from(document.links, a => "
                                        "[a.href, a.innerText])"_s.arg(url(path).toString()));
            dom.clear();
            for (const QVariant &row : rows.toList())
                dom.append({row.toList().value(0).toString(), row.toList().value(1).toString()});
            return rows.typeId() == QMetaType::QVariantList && m_pane->links() == dom;
        };
        if (waitUntil(equal, timeoutMs))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
            << ::testing::PrintToString(m_pane->links()) << "\nis not the DOM's\n"
            << ::testing::PrintToString(dom);
    }

    // Loads `path` (or runs `script` in the page there), waits for the page to stamp
    // window.lastChange (Date.now() right after its last DOM change) and for the mirror to
    // settle, and returns how long after the stamp the mirror first held the final links.
    double lagAfter(const QString &path, const QString &script = {})
    {
        spinFor(100); // a quiet spell: the page's next change is pushed at once
        m_observed.clear();
        script.isEmpty() ? m_pane->navigate(url(path).toString()) : void(runJs(script));
        const QString stamp
            = u"location.href == '%1' && window.lastChange"_s.arg(url(path).toString());
        double changeMs = 0;
        EXPECT_TRUE(waitUntil([&] { return (changeMs = runJs(stamp).toDouble()) > 0; }, 30000));
        EXPECT_TRUE(settles(path, 30000));
        const auto first = std::ranges::find(m_observed, m_pane->links(), &Observed::second);
        return first == m_observed.end() ? 1e9 : first->first - changeMs;
    }

    LoopbackServer m_server;
    QWidget m_window;
    BrowserPane *m_pane = new BrowserPane(&m_window);
    using Observed = std::pair<double, std::optional<PageLinks>>; // (ms, links)
    QList<Observed> m_observed;
};

TEST_F(BrowserPaneTest, NoDocumentBeforeALoadAfterTheRenderProcessDiedOrOnAnErrorPage)
{
    m_server.serve(u"/x"_s, linksPage(u"/to"_s, 3));
    const auto noDocument = [&] {
        return waitUntil([&] { return !m_pane->links(); }, 10000)
            && (spinFor(300), !m_pane->links());
    };
    EXPECT_TRUE(noDocument());
    m_pane->navigate(url(u"/x"_s).toString());
    ASSERT_TRUE(settles(u"/x"_s));

    const qint64 pid = m_pane->page()->renderProcessPid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid_t(pid), SIGKILL), 0);
    EXPECT_TRUE(noDocument());
    m_pane->navigate(url(u"/x"_s).toString());
    ASSERT_TRUE(settles(u"/x"_s));
    // A 404 without a body shows the engine's own error page.
    m_pane->navigate(url(u"/missing"_s).toString());
    EXPECT_TRUE(noDocument());
}

// The page adds links itself once loaded, and burst(change) makes two changes in consecutive
// tasks: the second comes within the script's minimum gap after the first was pushed, so only
// a trailing flush brings it over. A minimised window hides the page, whose timers the engine
// then throttles to a second or more; the pane's nudges must keep the mirror prompt.
TEST_F(BrowserPaneTest, FollowsThePageWithinATenthOfASecondEvenWhenMinimised)
{
    m_server.serve(u"/page.html"_s, linksPage(u"/static"_s, 300, uR"(
function burst(change) {
    window.lastChange = 0;
    more(1);
    const channel = new MessageChannel();
    channel.port1.onmessage = () => { change(); window.lastChange = Date.now(); };
    channel.port2.postMessage(0);
}
window.addEventListener('load', () => setTimeout(() => burst(() => more(100)), 300));)"_s));
    const QStringList edits
        = {u"document.links[3].setAttribute('href', '/moved')"_s,
           u"document.links[4].firstChild.data = '改过的文字'"_s,
           u"document.links[10].style.textTransform = 'uppercase'"_s,
           u"document.body.insertAdjacentHTML('afterbegin', '<map><area href=/area>')"_s};
    for (const bool minimised : {false, true}) {
        if (minimised)
            m_window.showMinimized();
        ASSERT_TRUE(waitUntil([&] { return runJs(u"document.hidden"_s).toBool() == minimised; }));
        const QString path = u"/page.html?%1"_s.arg(minimised);
        EXPECT_LT(lagAfter(path), 100) << "links the page added";
        for (const QString &edit : edits)
            EXPECT_LT(lagAfter(path, u"burst(() => %1)"_s.arg(edit)), 100) << edit.toStdString();
    }
}

// A page of 4,001 links. The first has 5,000,000 characters of text, here and there holding
// the separators of the list the script sends, so the list goes over in several pieces and
// this text spans more than two of them.
std::pair<QByteArray, QString> heavyPage()
{
    QString text;
    for (int i = 0; text.size() < 5'000'000 - 14; ++i)
        text += i % 4000 == 0 ? u"\x1f\x1e1\x1e0\x1f "_s : u"hot keyword "_s;
    text = text.leftJustified(5'000'000, u'!', true);
    QByteArray html = "<!doctype html><meta charset=utf-8><body><a href=/long>" + text.toUtf8();
    for (int i = 0; i < 4000; ++i)
        html += "</a><p><a href=/k/" + QByteArray::number(i) + ">keyword " + QByteArray::number(i);
    return {html, text};
}

// Each page's mirror equals its live DOM: `count` links, one of them with `text`.
TEST_F(BrowserPaneTest, MirrorsGbkPagesPictureLinksHotListsHeavyPagesAndPagesWithoutLinks)
{
    const QString hotList = QStringLiteral(LEXHAUL_HOTLIST_DIR "/");
    // 中国 / 关键字 / 热点 新闻 in GBK, declared only in the document.
    const QByteArray gbk
        = "<meta charset=\"gbk\"><a href=\"/zh?w=\xd6\xd0\xb9\xfa\">\xd6\xd0\xb9\xfa</a> "
          "<a href=/kw>\xb9\xd8\xbc\xfc\xd7\xd6</a> <a href=/hot>\xc8\xc8\xb5\xe3 "
          "\xd0\xc2\xce\xc5</a>";
    const auto heavy = heavyPage();
    const std::tuple<QByteArray, int, QString> pages[] = {
        {gbk, 3, u"中国"_s},
        {"<a href=/pic><img src=/none.png alt=picture></a> <a href=/w>words</a>", 2, QString()},
        {"<p>No links <b>here</b>.</p>", 0, QString()}, // an empty list, not nullopt
        {readBytes(hotList + u"baidu_top_buzz_b1_2018.html"_s), 332, u"马云重登中国首富"_s},
        {readBytes(hotList + u"baidu_top_index_2018.html"_s), 434, u"马云重登中国首富"_s},
        {heavy.first, 4001, heavy.second},
    };
    int n = 0;
    for (const auto &[page, count, text] : pages) {
        m_server.serve(u"/page.html"_s, page, "text/html");
        m_pane->navigate(url(u"/page.html?%1"_s.arg(++n)).toString());
        ASSERT_TRUE(settles(u"/page.html?%1"_s.arg(n), 60000));
        EXPECT_EQ(m_pane->links()->size(), count) << n;
        EXPECT_TRUE(count == 0 || std::ranges::count(*m_pane->links(), text, &PageLink::text)) << n;
    }
}

TEST_F(BrowserPaneTest, PageScriptsCanNeitherSeeNorForgeTheMirror)
{
    m_server.serve(u"/forge.html"_s, linksPage(u"/real"_s, 3, uR"(
window.seen = [typeof qt, typeof QWebChannel].join(' ');
// Try to pass for the transport and for the DOM the mirror reads.
window.qt = { webChannelTransport: { send() {}, onmessage: null } };
for (const [type, name, value] of [[HTMLAnchorElement, 'href', '/forged'],
                                   [HTMLElement, 'innerText', 'forged'], [Document, 'links', []]])
    Object.defineProperty(type.prototype, name, { get: () => value });
window.postMessage(JSON.stringify({ type: 6, object: 'lexhaulMirror', method: 'push',
    args: ['forged', 1e15, 1, 1, 31, 'http://127.0.0.1/forged\x1fforged'] }), '*');
document.dispatchEvent(new Event('DOMContentLoaded'));
setTimeout(() => more(1), 200);)"_s));

    PageLinks expected;
    for (int i = 0; i < 4; ++i)
        expected.append({url(u"/real/%1"_s.arg(i)).toString(), u"/real %1"_s.arg(i)});
    m_pane->navigate(url(u"/forge.html"_s).toString());
    EXPECT_TRUE(waitUntil([&] { return m_pane->links() == expected; }));
    EXPECT_EQ(runJs(u"window.seen"_s).toString(), u"undefined undefined"_s);
    spinFor(300);
    for (const auto &[ms, links] : m_observed) // each the beginning of the real list
        EXPECT_EQ(links,
                  expected.first(std::min(links.value_or(expected).size(), expected.size())));
    EXPECT_EQ(m_pane->links(), expected);
}

} // namespace

// A page that asks the user everything it may ask without a gesture of the user's (which a
// pane out of view never gets) while it loads: it is harvested like any page, with its answers
// written into its links, and nothing reaches the user: no box, no window, no sound.
TEST_F(BrowserPaneTest, NothingAPageDoesReachesTheUser)
{
    m_server.serve(u"/tone.wav"_s, QByteArray("RIFF\x24\x10\0\0WAVEfmt ", 16), "audio/wav");
    m_server.serve(u"/ask"_s, R"(<!doctype html><body><audio src=/tone.wav autoplay loop></audio>
<script>
const said = (text) => document.body.insertAdjacentHTML('beforeend', `<a href=/said>${text}</a>`);
said(confirm('c') + ' ' + prompt('p', 'x'));
said('separators \x1f and \x1e1 in a text');
alert('a');
Notification.requestPermission().then((answer) => said('notification ' + answer));
navigator.geolocation.getCurrentPosition(() => said('located'), () => said('no location'));
</script>)");
    m_pane->navigate(url(u"/ask"_s).toString());
    const QStringList said = {u"false null"_s, u"no location"_s, u"notification denied"_s,
                              u"separators \x1f and \x1e"
                              u"1 in a text"_s};
    QStringList texts;
    bool anythingShown = false;
    EXPECT_TRUE(waitUntil(
        [&] {
            for (QWidget *top : QApplication::topLevelWidgets())
                anythingShown |= top != &m_window && top->isVisible();
            texts.clear();
            for (const PageLink &link : m_pane->links().value_or(PageLinks()))
                texts.append(link.text);
            return texts.sort(), texts == said;
        },
        20000))
        << texts.join(u'|').toStdString();
    EXPECT_TRUE(settles(u"/ask"_s));
    EXPECT_FALSE(anythingShown);
    EXPECT_TRUE(m_pane->page()->isAudioMuted());
}
