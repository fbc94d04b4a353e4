#include "crawl/crawlcycle.h"
#include "crawl/progresstext.h"
#include "support/testfiles.h"
#include "support/wait.h"
#include "urlqueue/urllistfile.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A window with nothing but what the crawl reads and writes.
class FakeWindow : public CrawlWindow
{
public:
    explicit FakeWindow(const QString &directory)
        : m_urls(directory, TextEncoding("UTF-8"))
    {
    }

    QString addressText() const override { return text1; }
    void setAddressText(const QString &text) override { text1 = text; }
    QString progressCaption() const override { return label2; }
    void setProgressCaption(const QString &caption) override { label2 = caption; }
    QString targetCaption() const override { return label3; }
    const UrlListFile &urlList() const override { return m_urls; }
    void quchongzi() override { ++harvests; }
    void showMessage(const QString &text) override { messages.append(text); }
    void showFailure(const FileError &) override { ++failures; }
    bool isClosed() const override { return false; }

    QString text1, label2, label3;
    int harvests = 0;
    int failures = 0;
    QStringList messages;

private:
    UrlListFile m_urls;
};

} // namespace

TEST(CrawlTimer, ReArmingARunningTimerKeepsItsCountdown)
{
    CrawlTimer timer(true, 200);
    QSignalSpy ticks(&timer, &CrawlTimer::tick);
    for (int i = 0; i < 6; ++i) { // re-armed every 50 ms, as harvest ticks do
        spinFor(50);
        timer.setEnabled(true);
        timer.setInterval(200);
    }
    EXPECT_GE(ticks.count(), 1);
}

// The count is no 16-bit number: it goes past 32,767 and completion still compares captions.
TEST(CrawlCycle, CountsPastSixteenBitsAndCompletesOnEqualCaptions)
{
    QTemporaryDir dir;
    FakeWindow window(dir.path());
    window.text1 = u"http://127.0.0.1/"_s;
    window.label3 = ProgressText(40000);
    CrawlCycle cycle(window, CrawlPacing {10000, 1000, 0, 0, 0, 0});
    for (int i = 0; i < 39999; ++i)
        cycle.Timer2_Timer();
    EXPECT_EQ(cycle.roundCount(), 39999);
    EXPECT_TRUE(window.messages.isEmpty());
    cycle.Timer2_Timer();
    EXPECT_EQ(window.label2, u"抓取第40000个网址");
    EXPECT_EQ(window.messages, QStringList {CrawlCycle::completionMessage()});
    EXPECT_EQ(window.harvests, 40000);
    EXPECT_FALSE(cycle.timer1().isEnabled());
    EXPECT_FALSE(cycle.timer2().isEnabled());
}
