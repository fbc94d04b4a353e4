#include "core/fileerror.h"
#include "crawl/crawl.h"
#include "crawl/crawlcycle.h"
#include "history/keywordhistory.h"
#include "support/filesizelimit.h"
#include "support/testfiles.h"
#include "support/wait.h"
#include "urlqueue/urllistfile.h"

#include <QBuffer>

#include <functional>

using namespace Qt::StringLiterals;

TEST(CrawlTimer, ReArmingARunningTimerKeepsItsCountdown)
{
    CrawlTimer timer(true, 200);
    int ticks = 0;
    QObject::connect(&timer, &CrawlTimer::tick, [&] { ++ticks; });
    for (int i = 0; i < 6; ++i) // re-armed every 50 ms, as harvest ticks do
        spinFor(50), timer.setEnabled(true), timer.setInterval(200);
    EXPECT_GE(ticks, 1);
}

// The crawl in a window that has nothing but what the crawl reads and writes.
struct Cycle : ::testing::Test, CrawlWindow
{
    QString addressText() const override { return text1; }
    void setAddressText(const QString &text) override { text1 = text; }
    void setProgressCaption(const QString &caption) override { label2 = caption; }
    void collectLinks(const CollectionRequest &, int, const LinksAnswer &answer) override
    {
        ++harvests;
        if (duringHarvest)
            std::exchange(duringHarvest, {})();
        answer({LinkCollection::Outcome::Collected, page});
    }
    void cancelCollection() override { }
    PageLoad pageLoad() const override { return load; }
    void showMessage(const QString &text) override { messages.append(text); }
    void showFailure(const FileError &error) override { failures.append(error.message()); }
    bool isClosed() const override { return closed; }

    QTemporaryDir dir;
    Crawl crawl {dir.path(), TextEncoding("UTF-8")};
    QString urls = crawl.urlList().path();
    QString text1, label2;
    int harvests = 0;
    QStringList messages, failures;
    bool closed = false;
    PageLoad load {PageLoad::Stage::Loaded};
    PageLinks page; // what the browser holds
    std::function<void()> duringHarvest; // what happens while the harvest waits
    CrawlCycle cycle {crawl, *this, CrawlPacing {10000, 1000, 0, 1, 1, 1}};
};

// Without a list a rotation tick says so and lets the harvest go on. A harvest tick with Text1
// empty does nothing. A rotation tick puts the next address into Text1; each harvest tick then
// harvests, counts and turns Timer2 off. The count is no 16-bit number, and the crawl ends when
// as many pages have been counted as the list had lines at start-up. Command1 then harvests
// uncounted, and the count goes on past the target unannounced.
TEST_F(Cycle, TicksRotateHarvestAndCountUpToTheListsLines)
{
    writeBytes(urls, QByteArray("A\r\n").repeated(39999) + "B");
    crawl.start();
    ASSERT_TRUE(QFile::remove(urls));
    cycle.Timer1_Timer();
    EXPECT_EQ(messages, QStringList {u"要抓取百度哪个网页的关键字？老大，请告诉我"_s});
    EXPECT_TRUE(cycle.timer2().isEnabled());
    cycle.Timer2_Timer();
    writeBytes(urls, "A\r\nB");
    cycle.Timer1_Timer();
    EXPECT_EQ(text1, u"A");
    while (harvests < 39999)
        cycle.Timer2_Timer();
    EXPECT_FALSE(cycle.timer2().isEnabled());
    cycle.Timer2_Timer();
    EXPECT_EQ(messages.sliced(1), QStringList {CrawlCycle::completionMessage()});
    EXPECT_FALSE(cycle.timer1().isEnabled());
    cycle.Command1_Click();
    cycle.Timer2_Timer();
    EXPECT_EQ(harvests, 40002);
    EXPECT_EQ(crawl.roundCount(), 40001);
    EXPECT_EQ(label2, u"抓取第40001个网址"_s);
    EXPECT_EQ(messages.size(), 2);
}

// A rotation that cannot write the list stops the crawl, says why and leaves the list as it
// was; Command1 starts the crawl again. What a user does while a tick processes events: an
// export (which stops the crawl) lets a rotation tick go on, Timer1 re-armed, but ends the crawl
// in a harvest tick; a close ends either tick there.
TEST_F(Cycle, AFailedRotationAndAStopOrACloseInsideATick)
{
    writeBytes(urls, "A\r\nB");
    {
        const FileSizeLimit limit(4);
        cycle.Timer1_Timer();
    }
    EXPECT_TRUE(failures.size() == 1 && failures.at(0).contains(urls));
    EXPECT_FALSE(cycle.timer1().isEnabled() || cycle.timer2().isEnabled());
    EXPECT_EQ(readBytes(urls), "A\r\nB");
    EXPECT_TRUE(text1.isEmpty());
    cycle.Command1_Click();
    EXPECT_TRUE(cycle.timer1().isEnabled());

    for (const bool rotation : {true, false}) // the rotations give the harvests an address
        for (const bool closes : {false, true}) { // the close is told inside the tick
            QTimer::singleShot(0, &cycle, [&, closes] { closed = closes, cycle.stop(); });
            closed = false; // each tick in a window still open
            rotation ? cycle.Timer1_Timer() : cycle.Timer2_Timer();
            const bool on = rotation && !closes;
            EXPECT_TRUE(cycle.timer1().isEnabled() == on && cycle.timer2().isEnabled() == on)
                << rotation << closes;
        }
}

// While a harvest waits for the engine, a harvest tick or a click is dropped: it neither
// harvests nor counts. A rotation goes ahead and keeps Timer2 for its own harvest.
TEST_F(Cycle, OneHarvestAtATime)
{
    writeBytes(urls, "A\r\nB");
    crawl.start();
    cycle.Timer1_Timer();
    duringHarvest = [&] { cycle.Timer2_Timer(), cycle.Command1_Click(), cycle.Timer1_Timer(); };
    cycle.Timer2_Timer();
    EXPECT_EQ(harvests, 1);
    EXPECT_EQ(crawl.roundCount(), 1);
    EXPECT_EQ(text1, u"B"_s);
    EXPECT_TRUE(cycle.timer2().isEnabled());
}

// The end of a crawl names the pages that gave nothing, ten at the most, and how many more.
TEST_F(Cycle, TheCompletionNamesTenFailedPagesAtTheMost)
{
    QByteArray lines;
    for (int i = 1; i <= 13; ++i)
        lines += "http://h" + QByteArray::number(i) + "/\r\n";
    writeBytes(urls, lines);
    crawl.start();
    QString named;
    for (int i = 1; i <= 13; ++i) {
        cycle.Timer1_Timer();
        // The first page is harvested; the others are refused.
        load = i == 1 ? PageLoad {PageLoad::Stage::Loaded}
                      : PageLoad {PageLoad::Stage::Failed, PageLoad::Domain::Connection, -102};
        if (i > 1 && i <= 11)
            named += u"\nhttp://h%1/：连接被拒绝"_s.arg(i);
        cycle.Timer2_Timer();
    }
    EXPECT_EQ(messages,
              QStringList {u"已经全部抓取,请点击生成文本\n有12个网址未能抓取："_s + named
                           + u"\n……另有2个"_s});
}

// Where the folder has a keyword history, every harvest of the window is recorded in it.
TEST_F(Cycle, AWindowHarvestIsRecordedInTheHistory)
{
    KeywordHistory(dir.path(), true);
    writeBytes(urls, "A");
    crawl.start();
    page = {{u"/1"_s, u"甲一"_s}, {u"/2"_s, u"乙一"_s}};
    cycle.Timer1_Timer();
    cycle.Timer2_Timer();
    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    KeywordHistory::writeCsv(dir.path(), csv);
    EXPECT_EQ(csv.data().count(",1,A\r\n"), 2) << csv.data().toStdString();
}
