// The window as a user meets it: its controls at every size, start-up, editing, the export,
// the ways it closes and the crawl over pages served from 127.0.0.1, on the real engine.

#include "app/form1.h"
#include "app/program.h"
#include "crawl/progresstext.h"
#include "harvest/browserpane.h"
#include "support/filesizelimit.h"
#include "support/guisupport.h"
#include "support/loopbackserver.h"
#include "support/testfiles.h"
#include "support/wait.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

const TextEncoding Gbk("GBK");
const QString E;
// Shorter than the real pacing so a walk over several addresses fits in a few seconds, but
// with the same shape: the harvest comes a while after the rotation, well before the next.
constexpr CrawlPacing Quick {1500, 300, 300, 4, 1, 4};

// Each page's links as the user sees them: whitespace inside a link collapses unless the
// page keeps it, a picture link has no text, a script adds a link after loading.
const QStringList PageA {u"甲一"_s, u"甲二"_s};
const QStringList PageB {u"乙一"_s, u"  "_s};
const QStringList PageC {E, u"丙一"_s, u"丙二"_s};

class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        LoopbackOnly::install();
        m_server.serve(u"/a"_s, "<a href=/1>甲一</a><a href=/2>甲二</a><a href=/3>新闻频道</a>");
        m_server.serve(u"/b"_s,
                       "<a href=/1>乙一</a><a href=/2><span style=white-space:pre>  </span></a>");
        m_server.serve(u"/c"_s,
                       "<a href=/x><img src=/none.png width=4 height=4></a><a href=/y>"
                       "丙一</a><script>const a = document.createElement('a'); a.href = "
                       "'/z'; a.textContent = '丙二'; document.body.append(a);</script>");
    }

    QString address(const char *path) const
    {
        return m_server.url(QString::fromLatin1(path)).toString();
    }
    QString urlListPath() const { return m_dir.filePath(u"抓关键字网址.txt"_s); }

    // A window that has been through start-up, shown and active.
    Form1 &open(const QByteArray &urlList = {}, const CrawlPacing &pacing = Quick)
    {
        writeBytes(urlListPath(), urlList);
        m_form = std::make_unique<Form1>(m_dir.path(), Gbk, pacing);
        {
            BoxAnswerer startUp;
            m_form->Form_Load();
        }
        m_form->show();
        m_form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
        m_navigations.emplace(m_form->WebBrowser1, &BrowserPane::navigationRequested);
        m_boxes.emplace();
        return *m_form;
    }
    Form1 &crawl(const QList<const char *> &paths, const CrawlPacing &pacing = Quick)
    {
        QStringList lines;
        for (const char *path : paths)
            lines.append(*path ? address(path) : E);
        return open(lines.join(u"\r\n"_s).toUtf8(), pacing);
    }

    QStringList navigated() const
    {
        QStringList urls;
        for (const QList<QVariant> &arguments : *m_navigations)
            urls.append(arguments.at(0).toUrl().toString());
        return urls;
    }
    bool waitForCompletion(int timeoutMs = 20000)
    {
        return waitUntil([&] { return m_boxes->texts().contains(CrawlCycle::completionMessage()); },
                         timeoutMs);
    }
    QStringList keywords() const { return m_form->keywords().items(); }
    bool ticking() const { return m_form->Timer1().isTicking() || m_form->Timer2().isTicking(); }

    LoopbackServer m_server;
    QTemporaryDir m_dir;
    std::unique_ptr<Form1> m_form;
    std::optional<QSignalSpy> m_navigations;
    std::optional<BoxAnswerer> m_boxes;
};

enum Grows { Fixed = 0, Wider = 1, Taller = 2, FollowsBottom = 4 };

struct Control
{
    const char *name;
    const char *container;
    QRect stored;
    QString caption;
    int grows;
};

} // namespace

TEST_F(WindowTest, ControlsStandWhereTheyBelongAtEverySize)
{
    Form1 &form = open();
    EXPECT_EQ(form.windowTitle(), u"Lexhaul获取工具1.0       ");
    EXPECT_EQ(form.minimumSize(), QSize(556, 312));
    const Control controls[] = {
        {"Command4", "Form1", {288, 256, 97, 25}, u"删除空行"_s, FollowsBottom},
        {"Command3", "Form1", {400, 256, 121, 25}, u"退出"_s, FollowsBottom},
        {"Command2", "Form1", {152, 256, 113, 25}, u"生成文本"_s, FollowsBottom},
        {"Command1", "Form1", {16, 256, 113, 25}, u"获取"_s, FollowsBottom},
        {"WebBrowser1", "Form1", {16, 312, 2, 9}, E, FollowsBottom},
        {"Frame1", "Form1", {8, 16, 497, 225}, u"取得关键字地址"_s, Wider | Taller},
        {"List1", "Frame1", {8, 96, 441, 112}, E, Wider | Taller},
        {"Text1", "Frame1", {8, 16, 441, 33}, E, Wider},
        {"Label3", "Frame1", {296, 64, 97, 33}, u"抓取第0个网址"_s, Fixed},
        {"Label2", "Frame1", {144, 72, 137, 25}, E, Fixed},
        {"Label1", "Frame1", {8, 72, 81, 25}, u"获取内容"_s, Fixed},
    };
    // Each step, and what says it is done.
    const std::pair<std::function<void(Form1 &)>, std::function<bool(Form1 &)>> steps[] = {
        {[](Form1 &) {}, [](Form1 &) { return true; }},
        {[](Form1 &w) { w.resize(900, 640); }, [](Form1 &w) { return w.width() == 900; }},
        {[](Form1 &w) { w.showMaximized(); }, [](Form1 &w) { return w.width() != 900; }},
        {[](Form1 &w) { w.showNormal(), w.resize(556, 312); },
         [](Form1 &w) { return w.size() == QSize(556, 312); }},
    };
    for (const auto &[step, done] : steps) {
        step(form);
        ASSERT_TRUE(waitUntil([&] { return done(form); }));
        const int dw = form.width() - 556;
        const int dh = form.height() - 312;
        SCOPED_TRACE(testing::Message() << form.width() << "x" << form.height());
        for (const Control &control : controls) {
            auto *widget = form.findChild<QWidget *>(QString::fromLatin1(control.name));
            ASSERT_NE(widget, nullptr) << control.name;
            const QRect grown = control.stored.adjusted(0, 0, control.grows & Wider ? dw : 0,
                                                        control.grows & Taller ? dh : 0);
            EXPECT_EQ(widget->geometry(),
                      grown.translated(0, control.grows & FollowsBottom ? dh : 0))
                << control.name;
            EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(control.container));
            const char *property = qobject_cast<QGroupBox *>(widget) ? "title" : "text";
            EXPECT_EQ(widget->property(property).toString(), control.caption) << control.name;
            EXPECT_TRUE(widget->isVisible()) << control.name;
        }
        // Loaded like a visible browser, yet wholly below the client area.
        EXPECT_TRUE(form.visibleRegion().intersected(form.WebBrowser1->geometry()).isEmpty());
        EXPECT_FALSE(form.rect().intersects(form.WebBrowser1->geometry()));
    }
    for (QPushButton *button : {form.Command1, form.Command2, form.Command3, form.Command4})
        EXPECT_FALSE(button->isDefault() || button->autoDefault()) << button->text().toStdString();
}

TEST_F(WindowTest, FocusFollowsTheTabOrderAndEveryChangeOfTheAddressNavigates)
{
    Form1 &form = open();
    EXPECT_TRUE(waitUntil([&] { return QApplication::focusWidget() == form.Text1; }));
    const QList<QWidget *> expected {form.Text1,    form.WebBrowser1, form.List1,   form.Command1,
                                     form.Command2, form.Command3,    form.Command4};
    QList<QWidget *> order;
    QWidget *widget = form.Text1;
    do {
        for (QWidget *control : expected) {
            if ((widget == control || widget == control->focusProxy()) && !order.contains(control))
                order.append(control);
        }
        widget = widget->nextInFocusChain();
    } while (widget != form.Text1);
    EXPECT_EQ(order, expected);

    QTest::keyClicks(form.Text1, u"ab"_s);
    form.Text1->setText(u"127.0.0.1:1/x"_s); // the program's assignment navigates as well
    form.Text1->clear(); // nothing left to send
    EXPECT_EQ(navigated(),
              (QStringList {u"http://a"_s, u"http://ab"_s, u"http://127.0.0.1:1/x"_s}));
}

TEST_F(WindowTest, StartUpTellsTheTotalBeforeTheWindowShows)
{
    const std::pair<std::optional<QByteArray>, int> cases[]
        = {{std::nullopt, 0}, {"a\r\n\r\nb\r\nc", 4}};
    for (const auto &[urlList, total] : cases) {
        QFile::remove(urlListPath());
        if (urlList)
            writeBytes(urlListPath(), *urlList);
        Form1 form(m_dir.path(), Gbk);
        bool shownDuringBox = true;
        BoxAnswerer answerer([&](const BoxAnswerer::Box &) { shownDuringBox = form.isVisible(); });
        form.Form_Load();
        ASSERT_EQ(answerer.boxes().size(), 1);
        EXPECT_EQ(answerer.boxes().at(0).title, u"Lexhaul");
        EXPECT_EQ(answerer.boxes().at(0).text, u"共抓取%1网址"_s.arg(total));
        EXPECT_FALSE(shownDuringBox);
        EXPECT_EQ(form.Label3->text(), u"抓取第%1个网址"_s.arg(total));
        EXPECT_EQ(readBytes(urlListPath()), urlList.value_or(QByteArray())); // created, unchanged
    }

    // A list that can be neither found nor created: a box, and no window at all.
    QFile::remove(urlListPath());
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(u"抓关键字网址.txt"_s));
    bool windowShown = false;
    BoxAnswerer answerer([&](const BoxAnswerer::Box &) {
        for (QWidget *top : QApplication::topLevelWidgets())
            windowShown |= qobject_cast<Form1 *>(top) && top->isVisible();
    });
    EXPECT_NE(runLexhaul(m_dir.path(), Gbk), 0);
    ASSERT_EQ(answerer.boxes().size(), 1);
    EXPECT_TRUE(answerer.boxes().at(0).text.contains(urlListPath()));
    EXPECT_FALSE(windowShown);
}

TEST_F(WindowTest, EveryWayOfClosingCompactsTheListOnceAndTheExitButtonTwice)
{
    const std::pair<const char *, std::function<void(Form1 &)>> ways[] = {
        {"A\r\nB", [](Form1 &form) { QTest::mouseClick(form.Command3, Qt::LeftButton); }},
        {"A\r\nB\r\n", [](Form1 &form) { form.close(), form.close(); }},
        {"A\r\nB\r\n", [](Form1 &) { ::raise(SIGTERM); }},
        {"A\r\nB\r\n", [](Form1 &) { ::raise(SIGINT); }},
        {"A\r\nB\r\n", [](Form1 &) { ::raise(SIGHUP); }},
    };
    for (const auto &[after, close] : ways) {
        Form1 &form = open("A\r\nB\r\n\r\n");
        closeOnShutdownRequests(form);
        close(form);
        EXPECT_TRUE(waitUntil([&] { return !form.isVisible(); }));
        EXPECT_EQ(readBytes(urlListPath()), QByteArray(after));
    }

    // The list gone by then: the failure is told, nothing is created, the status says so.
    Form1 &form = open("A\r\n");
    ASSERT_TRUE(QFile::remove(urlListPath()));
    form.close();
    ASSERT_EQ(m_boxes->boxes().size(), 1);
    EXPECT_TRUE(m_boxes->texts().at(0).contains(urlListPath()));
    EXPECT_FALSE(QFileInfo::exists(urlListPath()));
    EXPECT_NE(form.exitStatus(), 0);
}

TEST_F(WindowTest, EditingAndExportingTheList)
{
    Form1 &form = open();
    KeywordListModel &list = form.keywords();
    const auto doubleClick = [&](QPoint at) {
        QTest::mouseClick(form.List1->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(form.List1->viewport(), Qt::LeftButton, {}, at);
    };
    const auto item = [&](int row) {
        return form.List1->visualRect(form.List1->model()->index(row, 0)).center();
    };
    list.append({u"一"_s, u"二"_s, E, u"三"_s, E, E, u" "_s, u"  "_s, E});
    doubleClick(item(1));
    doubleClick(item(1)); // an empty item goes the same way
    doubleClick(QPoint(5, form.List1->viewport()->height() - 3)); // below the items: nothing
    EXPECT_EQ(list.items(), (QStringList {u"一"_s, u"三"_s, E, E, u" "_s, u"  "_s, E}));
    QTest::mouseClick(form.Command4, Qt::LeftButton);
    EXPECT_EQ(list.items(), (QStringList {u"一"_s, u"三"_s, u" "_s, u"  "_s}));

    list.append(E);
    const QString keywordPath = form.keywordFile().path();
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    const QByteArray once("\xd2\xbb\r\n\xc8\xfd\r\n \r\n  \r\n\r\n");
    EXPECT_EQ(readBytes(keywordPath), once + once);

    // A failed export stops the crawl first, says why and keeps the list.
    ASSERT_TRUE(QFile::remove(keywordPath) && QDir().mkdir(keywordPath));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_TRUE(ticking());
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    ASSERT_EQ(m_boxes->boxes().size(), 1);
    EXPECT_EQ(m_boxes->boxes().at(0).title, u"Lexhaul");
    EXPECT_TRUE(m_boxes->texts().at(0).contains(keywordPath));
    EXPECT_FALSE(ticking());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(list.count(), 5);
}

TEST_F(WindowTest, CrawlWalksTheListCountingEmptyLinesAndStopsAtTheTarget)
{
    Form1 &form = crawl({"/a", "/b", "", "/c"});
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    EXPECT_TRUE(keywords().isEmpty()); // no page loaded yet: nothing to harvest
    ASSERT_TRUE(waitForCompletion());
    // The empty line counts, so the first address comes again to make up the number.
    EXPECT_EQ(navigated(),
              (QStringList {address("/a"), address("/b"), address("/c"), address("/a")}));
    EXPECT_EQ(form.Label2->text(), ProgressText(4));
    EXPECT_EQ(keywords(), PageA + PageB + PageC + PageA);
    EXPECT_FALSE(ticking());
    spinFor(2 * Quick.rotationPeriodMs);
    EXPECT_EQ(m_navigations->count(), 4);

    // Command1 afterwards harvests the page shown, uncounted, and goes on past the target.
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    EXPECT_EQ(keywords(), PageA + PageB + PageC + PageA + PageA);
    ASSERT_TRUE(waitUntil([&] { return form.RoundCount() == 5; }, 10000));
    EXPECT_EQ(m_boxes->texts(), QStringList {CrawlCycle::completionMessage()});
}

TEST_F(WindowTest, CrawlOverAnEmptyOrVanishingList)
{
    Form1 &empty = crawl({});
    QTest::mouseClick(empty.Command1, Qt::LeftButton);
    spinFor(Quick.rotationPeriodMs * 2 + 1000);
    EXPECT_TRUE(empty.Timer1().isTicking() && empty.Timer2().isTicking());
    EXPECT_EQ(empty.RoundCount(), 0); // and so it never completes
    EXPECT_EQ(m_navigations->count(), 0);
    EXPECT_TRUE(m_boxes->texts().isEmpty());

    // Told, then the last address is harvested again until the count is reached.
    Form1 &form = crawl({"/a", "/b"});
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return form.RoundCount() == 1; }, 10000));
    ASSERT_TRUE(QFile::remove(urlListPath()));
    ASSERT_TRUE(waitForCompletion());
    EXPECT_EQ(m_boxes->texts(),
              (QStringList {CrawlCycle::missingListMessage(), CrawlCycle::completionMessage()}));
    EXPECT_EQ(keywords(), PageA + PageA);
    EXPECT_FALSE(QFile::exists(urlListPath()));
}

// A click handled in a harvest tick's pumps stops the crawl there; in the rotation tick's
// pumps the tick goes on and so does the crawl. A close in either ends the tick at once.
TEST_F(WindowTest, AClickInsideATickIsHandledInItsPumps)
{
    for (const auto &[inHarvest, closes] : {std::pair {true, false}, std::pair {false, false},
                                            std::pair {true, true}, std::pair {false, true}}) {
        SCOPED_TRACE(testing::Message() << inHarvest << closes);
        Form1 &form = crawl({"/a", "", "/b"});
        QObject *target = closes ? static_cast<QObject *>(&form) : form.Command2;
        const auto clickSoon = [target, closes = closes] {
            QMetaObject::invokeMethod(target, closes ? "close" : "click", Qt::QueuedConnection);
        };
        if (inHarvest)
            QObject::connect(&form.keywords(), &QAbstractItemModel::rowsInserted, target, clickSoon,
                             Qt::SingleShotConnection);
        else
            QObject::connect(form.Text1, &QLineEdit::textChanged, target, clickSoon,
                             Qt::SingleShotConnection);
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        if (!inHarvest && !closes) {
            EXPECT_TRUE(waitUntil([&] { return form.RoundCount() == 2; }, 10000));
            continue;
        }
        ASSERT_TRUE(waitUntil([&] { return form.RoundCount() == 1 || !form.isVisible(); }, 10000));
        spinFor(Quick.rotationPeriodMs + 500);
        EXPECT_EQ(form.isVisible(), !closes);
        EXPECT_FALSE(ticking());
        EXPECT_TRUE(m_boxes->texts().isEmpty());
        EXPECT_EQ(m_navigations->count(), 1);
        if (closes) // compacted once by the unload: the rotated address now stands last
            EXPECT_EQ(readBytes(urlListPath()),
                      (address("/b") + u"\r\n"_s + address("/a")).toUtf8());
        else
            EXPECT_EQ(readBytes(form.keywordFile().path()), Gbk.encode(u"甲一\r\n甲二\r\n"_s));
    }
}

TEST_F(WindowTest, FailingRotationStopsTheCrawlAndKeepsTheWindow)
{
    Form1 &form = crawl({"/a", "/b"});
    form.keywords().append(u"已有"_s);
    const QByteArray before = readBytes(urlListPath());
    {
        const FileSizeLimit limit(before.size());
        ASSERT_TRUE(limit.isActive());
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return !m_boxes->boxes().isEmpty(); }, 10000));
    }
    EXPECT_TRUE(m_boxes->texts().at(0).contains(urlListPath()));
    EXPECT_FALSE(ticking());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(readBytes(urlListPath()), before);
    EXPECT_EQ(m_navigations->count(), 0);

    QTest::mouseClick(form.Command1, Qt::LeftButton); // starts the cycle again
    ASSERT_TRUE(waitUntil([&] { return form.RoundCount() == 1; }, 10000));
    EXPECT_EQ(keywords(), QStringList {u"已有"_s} + PageA);
}

// Once at the pacing the program really runs at: ten seconds to the rotation, then the sleep
// and the harvest period before the page is harvested.
TEST_F(WindowTest, CrawlAtTheRealPacing)
{
    Form1 &form = crawl({"/c"}, RealCrawlPacing);
    QElapsedTimer clock;
    qint64 rotatedAt = -1;
    QObject::connect(form.WebBrowser1, &BrowserPane::navigationRequested, &form,
                     [&] { rotatedAt = clock.elapsed(); });
    clock.start();
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return rotatedAt >= 0; }, 15000));
    EXPECT_GE(rotatedAt, RealCrawlPacing.rotationPeriodMs - 50);
    EXPECT_TRUE(keywords().isEmpty());
    ASSERT_TRUE(waitForCompletion(10000));
    EXPECT_GE(clock.elapsed() - rotatedAt,
              RealCrawlPacing.sleepMs + RealCrawlPacing.harvestPeriodMs - 50);
    EXPECT_EQ(keywords(), (QStringList {u"丙一"_s, u"丙二"_s})); // the empty first text goes
}
