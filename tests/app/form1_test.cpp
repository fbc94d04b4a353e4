// The window as a user meets it: its controls, start-up, editing, the export, the ways it
// closes and the crawl over pages served from 127.0.0.1, on the real engine.

#include "app/directorylock.h"
#include "app/form1.h"
#include "app/program.h"
#include "harvest/browserpane.h"
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
#include <QTest>

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

    QString address(const char *p) const { return m_server.url(QLatin1StringView(p)).toString(); }
    QString urlListPath() const { return m_dir.filePath(u"抓关键字网址.txt"_s); }

    // A window that has been through start-up, shown and active, over a URL list of these
    // lines (a path is served here).
    Form1 &open(const QList<const char *> &lines = {}, const CrawlPacing &pacing = Quick)
    {
        QStringList list;
        for (const char *line : lines)
            list.append(*line == '/' ? address(line) : QString::fromLatin1(line));
        writeBytes(urlListPath(), list.join(u"\r\n"_s).toUtf8());
        m_form = std::make_unique<Form1>(m_dir.path(), Gbk, pacing);
        const BoxAnswerer startUp;
        m_form->Form_Load();
        m_form->show();
        m_form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
        m_navigated.clear();
        QObject::connect(m_form->WebBrowser1, &BrowserPane::navigationRequested, m_form.get(),
                         [this](const QUrl &url) { m_navigated.append(url.toString()); });
        m_boxes.emplace();
        return *m_form;
    }
    bool completed() const { return m_boxes->texts().contains(CrawlCycle::completionMessage()); }
    QStringList keywords() const { return m_form->keywords().items(); }
    bool ticking() const { return m_form->Timer1().isTicking() || m_form->Timer2().isTicking(); }

    LoopbackServer m_server;
    QTemporaryDir m_dir;
    std::unique_ptr<Form1> m_form;
    QStringList m_navigated;
    std::optional<BoxAnswerer> m_boxes;
};

} // namespace

TEST_F(WindowTest, ControlsKeepTheirPlacesAtEverySizeAndTheAddressNavigates)
{
    Form1 &form = open();
    EXPECT_TRUE(waitUntil([&] { return QApplication::focusWidget() == form.Text1; }));
    enum { Fixed = 0, Wider = 1, Taller = 2, Down = 4 }; // how each follows a larger window
    const std::tuple<QWidget *, QRect, int> controls[]
        = {{form.Command4, {288, 256, 97, 25}, Down},
           {form.Command3, {400, 256, 121, 25}, Down},
           {form.Command2, {152, 256, 113, 25}, Down},
           {form.Command1, {16, 256, 113, 25}, Down},
           {form.WebBrowser1, {16, 312, 2, 9}, Down},
           {form.Frame1, {8, 16, 497, 225}, Wider | Taller},
           {form.List1, {8, 96, 441, 112}, Wider | Taller},
           {form.Text1, {8, 16, 441, 33}, Wider},
           {form.Label3, {296, 64, 97, 33}, Fixed},
           {form.Label2, {144, 72, 137, 25}, Fixed},
           {form.Label1, {8, 72, 81, 25}, Fixed}};
    for (const QSize size : {QSize(556, 312), QSize(900, 640)}) {
        form.resize(size);
        ASSERT_TRUE(waitUntil([&] { return form.size() == size; }));
        const int dw = size.width() - 556, dh = size.height() - 312;
        for (const auto &[widget, stored, grows] : controls)
            EXPECT_EQ(widget->geometry(),
                      stored.adjusted(0, grows & Down ? dh : 0, grows & Wider ? dw : 0,
                                      grows & (Taller | Down) ? dh : 0))
                << qPrintable(widget->objectName());
        // Loaded like a visible browser, yet wholly below the client area.
        EXPECT_TRUE(form.WebBrowser1->isVisible());
        EXPECT_FALSE(form.rect().intersects(form.WebBrowser1->geometry()));
    }

    QTest::keyClicks(form.Text1, u"ab"_s);
    form.Text1->setText(u"127.0.0.1:1/x"_s); // the program's assignment navigates as well
    form.Text1->clear(); // nothing left to send
    EXPECT_EQ(m_navigated,
              (QStringList {u"http://a"_s, u"http://ab"_s, u"http://127.0.0.1:1/x"_s}));
}

TEST_F(WindowTest, StartUpTellsTheTotalBeforeTheWindowShowsOrWhyItCannot)
{
    writeBytes(urlListPath(), "a\r\n\r\nb\r\nc");
    bool windowShown = false;
    BoxAnswerer answerer([&](const BoxAnswerer::Box &) {
        for (QWidget *top : QApplication::topLevelWidgets())
            windowShown |= qobject_cast<Form1 *>(top) && top->isVisible();
    });
    {
        Form1 form(m_dir.path(), Gbk);
        form.Form_Load();
        EXPECT_EQ(form.Label3->text(), u"抓取第4个网址");
    }
    EXPECT_EQ(answerer.texts(), QStringList {u"共抓取4网址"_s});

    // A directory another run holds, and a list that can be neither found nor created.
    const QString pid = QString::number(QCoreApplication::applicationPid());
    {
        DirectoryLock held(m_dir.path());
        ASSERT_TRUE(held.tryLock());
        EXPECT_EQ(runLexhaul(m_dir.path(), Gbk), 1);
    }
    ASSERT_TRUE(QFile::remove(urlListPath()) && QDir(m_dir.path()).mkdir(u"抓关键字网址.txt"_s));
    EXPECT_EQ(runLexhaul(m_dir.path(), Gbk), 1);
    ASSERT_EQ(answerer.texts().size(), 3);
    EXPECT_TRUE(answerer.texts().at(1).contains(QDir::toNativeSeparators(m_dir.path()))
                && answerer.texts().at(1).contains(pid));
    EXPECT_TRUE(answerer.texts().at(2).contains(urlListPath()));
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
        {"B\r\nA", // inside the rotation tick, which ends there
         [](Form1 &form) {
             QObject::connect(
                 form.Text1, &QLineEdit::textChanged, &form,
                 [&form] { QMetaObject::invokeMethod(&form, "close", Qt::QueuedConnection); },
                 Qt::SingleShotConnection);
             QTest::mouseClick(form.Command1, Qt::LeftButton);
         }},
    };
    for (const auto &[after, close] : ways) {
        Form1 &form = open({"A", "B", "", ""});
        closeOnShutdownRequests(form);
        close(form);
        EXPECT_TRUE(waitUntil([&] { return !form.isVisible(); }));
        EXPECT_EQ(readBytes(urlListPath()), QByteArray(after));
        EXPECT_FALSE(ticking());
        EXPECT_TRUE(m_boxes->texts().isEmpty());
    }

    // The list gone by then: the failure is told, nothing is created, the status says so.
    Form1 &form = open({"A"});
    ASSERT_TRUE(QFile::remove(urlListPath()));
    form.close();
    ASSERT_EQ(m_boxes->texts().size(), 1);
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
    list.append({u"一"_s, u"二"_s, E, u"三"_s, E, E, u" "_s, u"  "_s, E});
    const QPoint second = form.List1->visualRect(form.List1->model()->index(1, 0)).center();
    doubleClick(second);
    doubleClick(second); // an empty item goes the same way
    doubleClick(QPoint(5, form.List1->viewport()->height() - 3)); // below the items: nothing
    EXPECT_EQ(list.items(), (QStringList {u"一"_s, u"三"_s, E, E, u" "_s, u"  "_s, E}));
    QTest::mouseClick(form.Command4, Qt::LeftButton);
    EXPECT_EQ(list.items(), (QStringList {u"一"_s, u"三"_s, u" "_s, u"  "_s}));

    list.append(E);
    const QString keywordPath = form.keywordFile().path();
    QTest::mouseClick(form.Command2, Qt::LeftButton); // in GBK, nothing left out
    EXPECT_EQ(readBytes(keywordPath), QByteArray("\xd2\xbb\r\n\xc8\xfd\r\n \r\n  \r\n\r\n"));

    // A failed export stops the crawl first, says why and keeps the list.
    ASSERT_TRUE(QFile::remove(keywordPath) && QDir().mkdir(keywordPath));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_TRUE(ticking());
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    ASSERT_EQ(m_boxes->texts().size(), 1);
    EXPECT_TRUE(m_boxes->texts().at(0).contains(keywordPath));
    EXPECT_FALSE(ticking());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(list.count(), 5);
}

TEST_F(WindowTest, CrawlWalksTheListCountingEmptyLinesAndStopsAtTheTarget)
{
    Form1 &form = open({"/a", "/b", "", "/c"});
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    EXPECT_TRUE(keywords().isEmpty()); // no page loaded yet: nothing to harvest
    ASSERT_TRUE(waitUntil([&] { return completed(); }, 20000));
    // The empty line counts, so the first address comes again to make up the number.
    EXPECT_EQ(m_navigated,
              (QStringList {address("/a"), address("/b"), address("/c"), address("/a")}));
    EXPECT_EQ(form.Label2->text(), u"抓取第4个网址");
    EXPECT_EQ(keywords(), PageA + PageB + PageC + PageA);
    EXPECT_FALSE(ticking());
    spinFor(2 * Quick.rotationPeriodMs);
    EXPECT_EQ(m_navigated.size(), 4);
}

// Once at the pacing the program really runs at: ten seconds to the rotation, then the sleep
// and the harvest period before the page is harvested.
TEST_F(WindowTest, CrawlAtTheRealPacing)
{
    Form1 &form = open({"/c"}, RealCrawlPacing);
    QElapsedTimer clock;
    qint64 rotatedAt = -1;
    QObject::connect(form.WebBrowser1, &BrowserPane::navigationRequested, &form,
                     [&] { rotatedAt = clock.elapsed(); });
    clock.start();
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return rotatedAt >= 0; }, 15000));
    EXPECT_GE(rotatedAt, RealCrawlPacing.rotationPeriodMs - 50);
    EXPECT_TRUE(keywords().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return completed(); }, 10000));
    EXPECT_GE(clock.elapsed() - rotatedAt,
              RealCrawlPacing.sleepMs + RealCrawlPacing.harvestPeriodMs - 50);
    EXPECT_EQ(keywords(), (QStringList {u"丙一"_s, u"丙二"_s})); // the empty first text goes
}
