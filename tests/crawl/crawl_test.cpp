#include "app/form1.h"
#include "crawl/crawlcycle.h"
#include "crawl/progresstext.h"
#include "harvest/browserpane.h"
#include "support/filesizelimit.h"
#include "support/guisupport.h"
#include "support/loopbackserver.h"
#include "support/testfiles.h"
#include "support/wait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString E;
// Shorter than the real pacing so a walk over several addresses fits in a few seconds, but
// with the same shape: the harvest comes a while after the rotation, well before the next.
constexpr CrawlPacing Quick {1500, 300, 300, 4, 1, 4};

QByteArray page(const QStringList &links)
{
    QByteArray html = "<!doctype html><meta charset=\"utf-8\"><title>t</title><body>";
    int n = 0;
    for (const QString &text : links)
        html += "<p><a href=\"/target/" + QByteArray::number(++n) + "\">" + text.toUtf8() + "</a>";
    return html + "</body>";
}

class CrawlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        LoopbackOnly::install();
        // Each page's links, as the user would see them.
        m_server.serve(u"/a"_s, page({u"甲一"_s, u"甲二"_s, u"新闻频道"_s}));
        // Whitespace inside a link collapses unless the page keeps it.
        m_server.serve(u"/b"_s, page({u"乙一"_s, u"<span style=\"white-space:pre\">  </span>"_s}));
        m_server.serve(u"/c"_s,
                       "<!doctype html><meta charset=\"utf-8\"><body><a href=\"/x\"><img "
                       "src=\"/none.png\" width=\"4\" height=\"4\"></a><a href=\"/y\">丙一</a>"
                       "<div id=\"later\"></div><script>const a = document.createElement('a');"
                       "a.href = '/z'; a.textContent = '丙二'; later.appendChild(a);</script>");
    }

    QString address(const char *path) const
    {
        return m_server.url(QString::fromLatin1(path)).toString();
    }
    QString urlListPath() const { return m_dir.filePath(u"抓关键字网址.txt"_s); }
    QByteArray urlListContent() const { return readBytes(urlListPath()); }

    // Starts the window on a URL list file of `lines`, answering the start-up message.
    void start(const QStringList &lines, const CrawlPacing &pacing = Quick)
    {
        writeBytes(urlListPath(), lines.join(u"\r\n"_s).toUtf8());
        m_form = std::make_unique<Form1>(m_dir.path(), TextEncoding("UTF-8"), pacing);
        {
            BoxAnswerer startUp;
            m_form->Form_Load();
        }
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
        m_navigations
            = std::make_unique<QSignalSpy>(m_form->WebBrowser1, &BrowserPane::navigationRequested);
        m_boxes = std::make_unique<BoxAnswerer>();
    }

    QStringList navigated() const
    {
        QStringList urls;
        for (const QList<QVariant> &args : *m_navigations)
            urls.append(args.at(0).toUrl().toString());
        return urls;
    }

    bool waitForBox(const QString &text, int count = 1, int timeoutMs = 20000)
    {
        return waitUntil([&] { return m_boxes->texts().count(text) >= count; }, timeoutMs);
    }

    QStringList keywords() const { return m_form->keywords().items(); }
    QString label2() const { return m_form->Label2->text(); }

    LoopbackServer m_server;
    QTemporaryDir m_dir;
    std::unique_ptr<Form1> m_form;
    std::unique_ptr<QSignalSpy> m_navigations;
    std::unique_ptr<BoxAnswerer> m_boxes;
};

const QStringList PageA {u"甲一"_s, u"甲二"_s};
const QStringList PageB {u"乙一"_s, u"  "_s};
const QStringList PageC {E, u"丙一"_s, u"丙二"_s};

} // namespace

TEST_F(CrawlTest, WalksThreeAddressesInOrderAndStopsAfterTheThird)
{
    start({address("/a"), address("/b"), address("/c")});
    EXPECT_EQ(m_form->Label3->text(), ProgressText(3));

    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    EXPECT_TRUE(keywords().isEmpty()); // no page loaded yet: nothing to harvest
    EXPECT_TRUE(m_form->Timer1().isTicking());

    ASSERT_TRUE(waitForBox(CrawlCycle::completionMessage()));
    EXPECT_EQ(navigated(), (QStringList {address("/a"), address("/b"), address("/c")}));
    EXPECT_EQ(label2(), ProgressText(3));
    EXPECT_EQ(keywords(), PageA + PageB + PageC);
    EXPECT_FALSE(m_form->Timer1().isTicking());
    EXPECT_FALSE(m_form->Timer2().isTicking());

    spinFor(2 * Quick.rotationPeriodMs);
    EXPECT_EQ(m_navigations->count(), 3);
    EXPECT_EQ(m_boxes->texts(), QStringList {CrawlCycle::completionMessage()});
    EXPECT_EQ(urlListContent(),
              "\r\n\r\n\r\n"
                  + (QStringList {address("/a"), address("/b"), address("/c")}.join(u"\r\n"_s)
                     + u"\r\n"_s)
                        .toUtf8());
}

TEST_F(CrawlTest, EmptyLineCountsSoTheFirstAddressComesTwice)
{
    start({address("/a"), E, address("/b")});
    EXPECT_EQ(m_form->Label3->text(), ProgressText(3));
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    ASSERT_TRUE(waitForBox(CrawlCycle::completionMessage()));
    EXPECT_EQ(navigated(), (QStringList {address("/a"), address("/b"), address("/a")}));
    EXPECT_EQ(keywords(), PageA + PageB + PageA);
    EXPECT_EQ(m_form->RoundCount(), 3);
}

TEST_F(CrawlTest, EmptyListNeverCompletesWhileBothTimersTick)
{
    start({});
    EXPECT_EQ(m_form->Label3->text(), ProgressText(0));
    QSignalSpy harvestTicks(&m_form->Timer2(), &CrawlTimer::tick);
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    spinFor(Quick.rotationPeriodMs * 2 + 1000);
    EXPECT_EQ(m_form->Text1->text(), QString());
    EXPECT_TRUE(m_form->Timer1().isTicking());
    EXPECT_TRUE(m_form->Timer2().isTicking());
    EXPECT_GE(harvestTicks.count(), 3);
    EXPECT_EQ(m_form->RoundCount(), 0);
    EXPECT_EQ(label2(), QString());
    EXPECT_TRUE(m_boxes->texts().isEmpty());
    EXPECT_EQ(m_navigations->count(), 0);
}

TEST_F(CrawlTest, MissingListIsReportedAndTheLastAddressHarvestedAgain)
{
    start({address("/a"), address("/b")});
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return m_form->RoundCount() == 1; }, 10000));
    ASSERT_TRUE(QFile::remove(urlListPath()));

    ASSERT_TRUE(waitForBox(CrawlCycle::completionMessage()));
    EXPECT_EQ(m_boxes->texts(),
              (QStringList {CrawlCycle::missingListMessage(), CrawlCycle::completionMessage()}));
    EXPECT_EQ(navigated(), QStringList {address("/a")});
    EXPECT_EQ(keywords(), PageA + PageA);
    EXPECT_EQ(label2(), ProgressText(2));
    EXPECT_FALSE(QFile::exists(urlListPath()));
}

TEST_F(CrawlTest, Command1AfterCompletionGoesPastTheTarget)
{
    start({address("/b")});
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    ASSERT_TRUE(waitForBox(CrawlCycle::completionMessage()));
    EXPECT_EQ(keywords(), PageB);

    QTest::mouseClick(m_form->Command1, Qt::LeftButton); // harvests the page shown, uncounted
    EXPECT_EQ(keywords(), PageB + PageB);
    EXPECT_EQ(m_form->RoundCount(), 1);
    ASSERT_TRUE(waitUntil([&] { return m_form->RoundCount() == 3; }, 10000));
    EXPECT_EQ(label2(), ProgressText(3));
    EXPECT_EQ(m_boxes->texts(), QStringList {CrawlCycle::completionMessage()});
    EXPECT_TRUE(m_form->Timer1().isTicking());
}

TEST_F(CrawlTest, ExportInsideTheHarvestTickStopsTheCrawl)
{
    start({address("/a"), address("/b"), address("/c")});
    // The harvest appends inside the tick; a click queued then is handled in its pumps.
    QObject::connect(
        &m_form->keywords(), &QAbstractItemModel::rowsInserted, m_form.get(),
        [this] { QMetaObject::invokeMethod(m_form->Command2, "click", Qt::QueuedConnection); },
        Qt::SingleShotConnection);
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return m_form->RoundCount() == 1; }, 10000));
    spinFor(100);
    EXPECT_FALSE(m_form->Timer1().isTicking());
    EXPECT_FALSE(m_form->Timer2().isTicking());
    spinFor(Quick.rotationPeriodMs + 500);
    EXPECT_EQ(m_navigations->count(), 1);
    EXPECT_EQ(m_form->RoundCount(), 1);
    EXPECT_EQ(readBytes(m_form->keywordFile().path()), "甲一\r\n甲二\r\n");
}

TEST_F(CrawlTest, ExportInsideTheRotationTickDoesNotStopTheCrawl)
{
    start({address("/a"), address("/b"), address("/c")});
    QObject::connect(
        m_form->Text1, &QLineEdit::textChanged, m_form.get(),
        [this] { QMetaObject::invokeMethod(m_form->Command2, "click", Qt::QueuedConnection); },
        Qt::SingleShotConnection);
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return m_form->RoundCount() == 1; }, 10000));
    EXPECT_EQ(keywords(), PageA);
    EXPECT_TRUE(m_form->Timer1().isTicking());
    ASSERT_TRUE(waitUntil([&] { return m_form->RoundCount() == 2; }, 10000));
    m_form->Command2->click();
}

TEST_F(CrawlTest, CloseInsideAPumpEndsTheTickAndTheWindow)
{
    for (const char *where : {"rotation", "harvest"}) {
        SCOPED_TRACE(where);
        start({address("/a"), E, address("/b")});
        const auto closeSoon
            = [this] { QMetaObject::invokeMethod(m_form.get(), "close", Qt::QueuedConnection); };
        if (QByteArray(where) == "rotation")
            QObject::connect(m_form->Text1, &QLineEdit::textChanged, m_form.get(), closeSoon,
                             Qt::SingleShotConnection);
        else
            QObject::connect(&m_form->keywords(), &QAbstractItemModel::rowsInserted, m_form.get(),
                             closeSoon, Qt::SingleShotConnection);
        QTest::mouseClick(m_form->Command1, Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return !m_form->isVisible(); }, 10000));
        spinFor(Quick.rotationPeriodMs + 500);
        EXPECT_FALSE(m_form->isVisible());
        EXPECT_FALSE(m_form->Timer1().isTicking());
        EXPECT_FALSE(m_form->Timer2().isTicking());
        EXPECT_TRUE(m_boxes->texts().isEmpty());
        EXPECT_EQ(m_navigations->count(), 1);
        // Compacted once by the unload: the rotated address now stands last.
        EXPECT_EQ(urlListContent(), (address("/b") + u"\r\n"_s + address("/a")).toUtf8());
        m_form.reset();
    }
}

TEST_F(CrawlTest, FailingRotationStopsTheCrawlAndKeepsTheWindow)
{
    start({address("/a"), address("/b")});
    m_form->keywords().append(u"已有"_s);
    const QByteArray before = urlListContent();
    {
        const FileSizeLimit limit(before.size());
        ASSERT_TRUE(limit.isActive());
        QTest::mouseClick(m_form->Command1, Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return !m_boxes->boxes().isEmpty(); }, 10000));
    }
    EXPECT_TRUE(m_boxes->texts().at(0).contains(urlListPath()));
    EXPECT_EQ(m_boxes->boxes().at(0).title, u"Lexhaul");
    EXPECT_FALSE(m_form->Timer1().isTicking());
    EXPECT_FALSE(m_form->Timer2().isTicking());
    EXPECT_TRUE(m_form->isVisible());
    EXPECT_EQ(keywords(), QStringList {u"已有"_s});
    EXPECT_EQ(urlListContent(), before);
    EXPECT_EQ(m_navigations->count(), 0);

    QTest::mouseClick(m_form->Command1, Qt::LeftButton); // starts the cycle again
    ASSERT_TRUE(waitUntil([&] { return m_form->RoundCount() == 1; }, 10000));
    EXPECT_EQ(keywords(), QStringList {u"已有"_s} + PageA);
}

// Once at the pacing the program really runs at: ten seconds to the rotation, then the sleep
// and the harvest period before the page is harvested.
TEST_F(CrawlTest, RealPacing)
{
    start({address("/c")}, RealCrawlPacing);
    QElapsedTimer clock;
    qint64 rotatedAt = -1;
    QObject::connect(m_form->WebBrowser1, &BrowserPane::navigationRequested, m_form.get(),
                     [&] { rotatedAt = clock.elapsed(); });
    clock.start();
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return m_navigations->count() == 1; }, 15000));
    EXPECT_GE(rotatedAt, RealCrawlPacing.rotationPeriodMs - 50);
    EXPECT_TRUE(keywords().isEmpty());
    ASSERT_TRUE(waitForBox(CrawlCycle::completionMessage(), 1, 10000));
    EXPECT_GE(clock.elapsed() - rotatedAt,
              RealCrawlPacing.sleepMs + RealCrawlPacing.harvestPeriodMs - 50);
    // The picture link's empty text would stand first, so it goes.
    EXPECT_EQ(keywords(), (QStringList {u"丙一"_s, u"丙二"_s}));
    EXPECT_EQ(label2(), ProgressText(1));
}
