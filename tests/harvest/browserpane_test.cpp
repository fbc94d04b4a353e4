// BrowserPane against the real engine, with pages from a LoopbackServer on 127.0.0.1 (every
// other request is blocked). The reference for a collection is the live DOM's links, read by
// JavaScript in the page's main world.

#include "core/keywordlistmodel.h"
#include "harvest/browserpane.h"
#include "harvest/cardtext.h"
#include "harvest/harvestpass.h"
#include "harvest/hotlists.h"
#include "support/collect.h"
#include "support/guisupport.h"
#include "support/loopbackserver.h"
#include "support/testfiles.h"
#include "support/wait.h"

#include <QApplication>
#include <QTimer>
#include <QWebEnginePage>
#include <QWidget>

#include <csignal>

using namespace Qt::StringLiterals;
using Outcome = LinkCollection::Outcome;

void PrintTo(const PageLink &link, std::ostream *out)
{
    *out << '[' << link.address.toStdString() << " | " << link.text.left(80).toStdString()
         << (link.text.size() > 80 ? "...]" : "]");
}

namespace {

class BrowserPaneTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        allowLoopbackOnly();
        // The main window's geometry: the pane sits just below the visible area.
        m_window.setFixedSize(556, 312);
        m_pane->setGeometry(BrowserPane::outOfView(m_window.size()));
        m_window.show();
    }

    LinkCollection collect(int timeoutMs = 60000) { return collectNow(m_pane, timeoutMs); }

    QVariant runJs(const QString &code)
    {
        // Shared: the answer may still come after we gave up waiting.
        const auto answer = std::make_shared<std::optional<QVariant>>();
        m_pane->page()->runJavaScript(code, [answer](const QVariant &value) { *answer = value; });
        EXPECT_TRUE(waitUntil([&] { return answer->has_value(); }, 60000)) << code.toStdString();
        return answer->value_or(QVariant());
    }

    // Loads `path` and waits until its document has loaded and `ready` holds in its main world.
    void load(const QString &path, const QString &ready = u"true"_s)
    {
        const QString address = m_server.url(path).toString();
        m_pane->navigate(address);
        const QString loaded = u"(location.href == '%1' || location.protocol == 'chrome-error:') "
                               "&& document.readyState == 'complete' && (%2)"_s.arg(address, ready);
        EXPECT_TRUE(waitUntil([&] { return runJs(loaded).toBool(); }, 60000)) << path.toStdString();
    }

    // The document's links as its own main world sees them.
    PageLinks domLinks()
    {
        PageLinks links;
        const QVariant rows = runJs(u"Array.from(document.links, a => [a.href, a.innerText])"_s);
        for (const QVariant &row : rows.toList())
            links.append({row.toList().value(0).toString(), row.toList().value(1).toString()});
        return links;
    }

    void killRenderer()
    {
        const qint64 pid = m_pane->page()->renderProcessPid();
        ASSERT_GT(pid, 0);
        ASSERT_EQ(::kill(pid_t(pid), SIGKILL), 0);
    }

    LoopbackServer m_server;
    QWidget m_window;
    BrowserPane *m_pane = new BrowserPane(&m_window);
};

// Only a document the pane was sent to counts: not the empty one before the first load, not
// the engine's error page, not one whose render process died, and not the earlier document
// while the address last sent has not answered yet. A document whose script never yields gives
// no answer in time; the wait processes events meanwhile and ends at once when cancelled.
TEST_F(BrowserPaneTest, CollectsOnlyTheDocumentLastSentToWhileItAnswers)
{
    m_server.serve(u"/x"_s, "<a href=/x/0>x 0</a> <a href=/x/1>x 1</a> <a href=/x/2>x 2</a>");
    m_server.serve(u"/slow"_s, "<a href=/s/0>s 0</a> <a href=/s/1>s 1</a>", "text/html", 3000);
    EXPECT_EQ(collect().outcome, Outcome::NoDocument);
    load(u"/x"_s);
    EXPECT_EQ(collect().links.size(), 3);

    killRenderer();
    EXPECT_TRUE(waitUntil([&] { return collect().outcome == Outcome::NoDocument; }, 10000));
    load(u"/x"_s);
    EXPECT_EQ(collect().links, domLinks());

    m_pane->navigate(m_server.url(u"/slow"_s).toString());
    EXPECT_EQ(collect().outcome, Outcome::NoDocument); // /x, still shown
    // Its mark is in the pane's world only: page scripts can neither see nor forge it.
    EXPECT_EQ(runJs(u"typeof lexhaulLeft"_s), u"undefined"_s);
    load(u"/slow"_s);
    EXPECT_EQ(collect().links, domLinks());
    EXPECT_EQ(collect().links.size(), 2);

    // A move within the document keeps it; a 404 without a body shows the engine's own page.
    load(u"/slow#part"_s);
    EXPECT_EQ(collect().links.size(), 2);
    load(u"/missing"_s, u"location.protocol == 'chrome-error:'"_s);
    EXPECT_EQ(collect().outcome, Outcome::NoDocument);

    m_server.serve(u"/hang"_s,
                   "<a href=/h>h</a><script>onload = () => setTimeout(() => "
                   "{ for (;;); }, 100);</script>");
    load(u"/hang"_s);
    spinFor(300);
    QTimer::singleShot(10000, m_pane, &BrowserPane::cancelCollection); // should the wait not end
    EXPECT_EQ(collect(1000).outcome, Outcome::NoAnswer);
    QTimer::singleShot(200, m_pane, &BrowserPane::cancelCollection);
    EXPECT_EQ(collect().outcome, Outcome::Abandoned);
    killRenderer(); // no later test shares this process
}

// What the page shows at the moment of the collection: parsed, added by script (the heavy
// text after load, while nothing else happens), in GBK, behind pictures, with the collection's
// own separators in a text, or no link at all.
TEST_F(BrowserPaneTest, CollectsEveryLinkTheDocumentShowsWithItsVisibleText)
{
    // 中国 / 关键字 / 热点 新闻 in GBK, declared only in the document.
    const QByteArray gbk
        = "<meta charset=\"gbk\"><a href=\"/zh?w=\xd6\xd0\xb9\xfa\">\xd6\xd0\xb9\xfa</a> "
          "<a href=/kw>\xb9\xd8\xbc\xfc\xd7\xd6</a> <a href=/hot>\xc8\xc8\xb5\xe3 "
          "\xd0\xc2\xce\xc5</a>";
    const QByteArray heavy
        = "<meta charset=utf-8><p><a href=/k/0>-</a><p><a href=/k/1>k</a><script>"
          "window.done = false; onload = () => { document.links[0].textContent"
          " = '热点关键字'.repeat(1e6), window.done = true; };</script>";
    const QString heavyText = u"热点关键字"_s.repeated(1'000'000);
    const std::tuple<QByteArray, int, QString> pages[] = {
        {gbk, 3, u"中国"_s},
        {"<a href=/pic><img src=/none.png alt=picture></a> <a href=/w>words</a><map name=m><area "
         "href=/area shape=rect coords=0,0,1,1></map>",
         3, QString()},
        {"<p>No links <b>here</b>.</p>", 0, QString()},
        {"<a href=/s>separators \x1f, \x1e"
         "1 and \x1e<span style=display:none>hidden</span></a><a href=/t>Shown <i>twice</i></a>",
         2,
         u"separators \x1f, \x1e"
         "1 and \x1e"_s},
        {heavy, 2, heavyText},
    };
    int n = 0;
    for (const auto &[page, count, text] : pages) {
        m_server.serve(u"/page.html"_s, page, "text/html");
        load(u"/page.html?%1"_s.arg(++n), u"window.done !== false"_s);
        const LinkCollection collected = collect();
        ASSERT_EQ(collected.outcome, Outcome::Collected) << n;
        EXPECT_EQ(collected.links.size(), count) << n;
        EXPECT_TRUE(count == 0 || std::ranges::count(collected.links, text, &PageLink::text)) << n;
        if (text != heavyText) { // its reference alone would take as long again
            EXPECT_EQ(collected.links, domLinks()) << n;
        }
    }
    // Laid out as a desktop browser would, and shown, though out of view.
    EXPECT_EQ(runJs(u"`${document.visibilityState} ${innerWidth}x${innerHeight}`"_s),
              u"visible 1280x800"_s);
}

// Today's hot lists of tests/data, one layout each, and two laid out otherwise (a table its
// script builds, hashed class names, menus; a grid of films). Every hot entry (its links point
// under /e/) gives exactly its title, whatever its card holds around it (a badge, a doubled
// card, rank and heat spans, an excerpt, markup inside the title); with 只取榜单 the hot lists
// give exactly those titles, a side box's topics included, nothing of the furniture, and the
// links come as they do without it. The boards of 2018 and today's board give every link's
// text as it is, as they always did.
TEST_F(BrowserPaneTest, TodaysCardsGiveTheirTitlesAndOlderBoardsTheirTexts)
{
    const QString dir = QStringLiteral(LEXHAUL_HOTLIST_DIR);
    const auto harvested = [](const PageLinks &links) {
        KeywordListModel list;
        HarvestPass(list).run(links);
        return list.items();
    };
    for (const char *name :
         {"board_realtime_2025", "board_home", "aggregator_home", "social_hot_topics", "movie_home",
          "qa_hot_list", "realtime_table", "movie_grid"}) {
        const QString page = QString::fromLatin1(name);
        m_server.serve(u"/"_s + page, readBytes(dir + u"/"_s + page + u".html"_s));
        load(u"/"_s + page);
        const QStringList titles
            = QString::fromUtf8(readBytes(dir + u"/"_s + page + u".titles.txt"_s))
                  .split(u'\n', Qt::SkipEmptyParts);
        const PageLinks links = collect().links;
        PageLinks entries;
        for (const PageLink &link : links) {
            if (QUrl(link.address).path().startsWith(u"/e/"))
                entries.append(link);
        }
        EXPECT_EQ(harvested(entries), titles) << name;
        const LinkCollection laidOut = collectNow(m_pane, 60000, {true});
        ASSERT_TRUE(laidOut.layout) << name;
        EXPECT_EQ(laidOut.links, links) << name;
        EXPECT_EQ(harvested(hotListLinks(laidOut.links, *laidOut.layout)), titles) << name;
    }
    for (const char *name :
         {"baidu_top_buzz_b1_2018", "baidu_top_index_2018", "realtime_board_today"}) {
        const QString page = QString::fromLatin1(name);
        m_server.serve(u"/"_s + page, readBytes(dir + u"/"_s + page + u".html"_s), "text/html");
        load(u"/"_s + page);
        const PageLinks links = collect().links;
        EXPECT_GT(links.size(), 100) << name;
        for (const PageLink &link : links)
            EXPECT_EQ(keywordOf(link), link.text) << name;
    }
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
alert('a');
Notification.requestPermission().then((answer) => said('notification ' + answer));
navigator.geolocation.getCurrentPosition(() => said('located'), () => said('no location'));
</script>)");
    m_pane->navigate(m_server.url(u"/ask"_s).toString());
    const QStringList said = {u"false null"_s, u"no location"_s, u"notification denied"_s};
    QStringList texts;
    bool anythingShown = false;
    EXPECT_TRUE(waitUntil(
        [&] {
            for (QWidget *top : QApplication::topLevelWidgets())
                anythingShown |= top != &m_window && top->isVisible();
            texts.clear();
            for (const PageLink &link : collect().links)
                texts.append(link.text);
            return texts.sort(), texts == said;
        },
        20000))
        << texts.join(u'|').toStdString();
    EXPECT_FALSE(anythingShown);
    EXPECT_TRUE(m_pane->page()->isAudioMuted());
}
