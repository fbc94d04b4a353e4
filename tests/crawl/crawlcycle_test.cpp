#include "crawl/crawlcycle.h"
#include "support/testfiles.h"
#include "support/wait.h"
#include "urlqueue/urllistfile.h"

using namespace Qt::StringLiterals;

TEST(CrawlTimer, ReArmingARunningTimerKeepsItsCountdown)
{
    CrawlTimer timer(true, 200);
    int ticks = 0;
    QObject::connect(&timer, &CrawlTimer::tick, [&] { ++ticks; });
    for (int i = 0; i < 6; ++i) { // re-armed every 50 ms, as harvest ticks do
        spinFor(50);
        timer.setEnabled(true);
        timer.setInterval(200);
    }
    EXPECT_GE(ticks, 1);
}

// The crawl in a window that has nothing but what the crawl reads and writes.
struct Crawl : ::testing::Test, CrawlWindow
{
    QString addressText() const override { return text1; }
    void setAddressText(const QString &text) override { text1 = text; }
    QString progressCaption() const override { return label2; }
    void setProgressCaption(const QString &caption) override { label2 = caption; }
    QString targetCaption() const override { return label3; }
    const UrlListFile &urlList() const override { return urls; }
    void quchongzi() override { ++harvests; }
    void showMessage(const QString &text) override { messages.append(text); }
    void showFailure(const FileError &) override { ADD_FAILURE() << "a rotation failed"; }
    bool isClosed() const override { return false; }

    QTemporaryDir dir;
    UrlListFile urls {dir.path(), TextEncoding("UTF-8")};
    QString text1, label2, label3 = u"抓取第40000个网址"_s;
    int harvests = 0;
    QStringList messages;
    CrawlCycle cycle {*this, CrawlPacing {10000, 1000, 0, 1, 1, 1}};
};

// A harvest tick with Text1 empty does nothing. A rotation tick puts the next address into
// Text1 and leaves Timer1 on, even when the export stopped the crawl while the tick processed
// events, and Timer2 on. Each harvest tick then harvests, counts and turns Timer2 off; the count
// is no 16-bit number, and the crawl ends when the two captions read the same.
TEST_F(Crawl, TicksRotateHarvestAndCountUntilTheCaptionsMatch)
{
    cycle.Timer2_Timer();
    EXPECT_EQ(harvests, 0);
    writeBytes(urls.path(), "A\r\nB");
    QTimer::singleShot(0, &cycle, [this] { cycle.stop(); });
    cycle.Timer1_Timer();
    EXPECT_EQ(text1, u"A");
    EXPECT_TRUE(cycle.timer1().isEnabled() && cycle.timer2().isEnabled());
    while (harvests < 39999)
        cycle.Timer2_Timer();
    EXPECT_FALSE(cycle.timer2().isEnabled());
    EXPECT_TRUE(messages.isEmpty());
    cycle.Timer2_Timer();
    EXPECT_EQ(messages, QStringList {CrawlCycle::completionMessage()});
    EXPECT_FALSE(cycle.timer1().isEnabled());
}
