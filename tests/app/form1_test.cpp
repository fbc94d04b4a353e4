// The window as a user meets it: its controls, start-up, editing, the export, the ways it
// closes and a crawl over a page served from 127.0.0.1, on the real engine at the real pacing.

#include "app/commandline.h"
#include "app/directorylock.h"
#include "app/form1.h"
#include "app/program.h"
#include "harvest/browserpane.h"
#include "support/guisupport.h"
#include "support/loopbackserver.h"
#include "support/testfiles.h"
#include "support/wait.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

const TextEncoding Gbk("GBK");
const QString E;

class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        allowLoopbackOnly();
        m_server.serve(u"/p"_s, "<a href=/p1>戊一</a>");
        m_server.serve(u"/hang"_s,
                       "<a href=/h>丁</a><script>onload = () => setTimeout(() => "
                       "{ for (;;); }, 100);</script>");
    }

    QString address(const char *p) const { return m_server.url(QLatin1StringView(p)).toString(); }
    QString urlListPath() const { return m_dir.filePath(u"抓关键字网址.txt"_s); }

    // A window that has been through start-up, shown and active, over a URL list of these
    // lines (a path is served here).
    Form1 &open(const QList<const char *> &lines = {}, const CrawlPacing &pacing = RealCrawlPacing)
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
    // The crawl's end, and nothing else to say: every page was harvested.
    bool completed() const { return m_boxes->texts().contains(u"已经全部抓取,请点击生成文本"_s); }
    QStringList keywords() const { return m_form->crawl().keywords().items(); }
    bool ticking() const { return m_form->Timer1().isTicking() || m_form->Timer2().isTicking(); }

    LoopbackServer m_server;
    QTemporaryDir m_dir;
    std::unique_ptr<Form1> m_form;
    QStringList m_navigated;
    std::optional<BoxAnswerer> m_boxes;
};

} // namespace

TEST_F(WindowTest, ControlsFollowALargerWindowAndTheListIsEditedAndExported)
{
    Form1 &form = open();
    EXPECT_TRUE(waitUntil([&] { return QApplication::focusWidget() == form.Text1; }));
    // 344 wider and 328 taller than stored: the frame and the list take both, Text1 the width,
    // the buttons and the browser keep their distance to the bottom, the captions stay.
    const std::pair<QWidget *, QRect> controls[]
        = {{form.WebBrowser1, {16, 640, 1280, 800}}, {form.Frame1, {8, 16, 841, 553}},
           {form.Text1, {8, 16, 785, 33}},           {form.Label3, {296, 64, 97, 33}},
           {form.List1, {8, 96, 785, 440}},          {form.Command1, {16, 584, 113, 25}},
           {form.Command4, {288, 584, 97, 25}}};
    form.resize(900, 640);
    ASSERT_TRUE(waitUntil([&] { return form.size() == QSize(900, 640); }));
    for (const auto &[widget, geometry] : controls)
        EXPECT_EQ(widget->geometry(), geometry) << qPrintable(widget->objectName());
    // Loaded like a visible browser, yet below the window, which clips it whole.
    EXPECT_TRUE(form.WebBrowser1->isVisible());
    EXPECT_TRUE(form.WebBrowser1->visibleRegion().isEmpty());
    QTest::keyClicks(form.Text1, u"ab"_s);
    form.Text1->clear(); // nothing left to send
    EXPECT_EQ(m_navigated, (QStringList {u"http://a"_s, u"http://ab"_s}));

    KeywordListModel &list = form.crawl().keywords();
    list.append({u"一"_s, u"二"_s, E, u"三"_s, E, E, u" "_s, u"  "_s, E});
    const QPoint second = form.List1->visualRect(form.List1->model()->index(1, 0)).center();
    for (int i = 0; i < 2; ++i) { // the second time on an empty item, which goes the same way
        QTest::mouseClick(form.List1->viewport(), Qt::LeftButton, {}, second);
        QTest::mouseDClick(form.List1->viewport(), Qt::LeftButton, {}, second);
    }
    EXPECT_EQ(list.items(), (QStringList {u"一"_s, u"三"_s, E, E, u" "_s, u"  "_s, E}));
    QTest::mouseClick(form.Command4, Qt::LeftButton);
    EXPECT_EQ(list.items(), (QStringList {u"一"_s, u"三"_s, u" "_s, u"  "_s}));

    list.append(E);
    const QString keywordPath = form.crawl().keywordFile().path();
    QTest::mouseClick(form.Command2, Qt::LeftButton); // in GBK, nothing left out
    EXPECT_EQ(readBytes(keywordPath), QByteArray("\xd2\xbb\r\n\xc8\xfd\r\n \r\n  \r\n\r\n"));

    // A failed export stops the crawl first, says why and keeps the list.
    ASSERT_TRUE(QFile::remove(keywordPath) && QDir().mkdir(keywordPath));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_TRUE(ticking());
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    EXPECT_TRUE(m_boxes->texts().size() == 1 && m_boxes->texts().at(0).contains(keywordPath));
    EXPECT_FALSE(ticking());
    EXPECT_EQ(list.count(), 5);
}

// Every text the window shows, through the program's start-up: its own, its boxes' and Qt's
// (the boxes' button, the address box's menu), which are Chinese in any locale (here C). The
// URL list's lines end with LF, CR LF and CR; a filter file that cannot be read is named in a
// box before the start-up message.
TEST_F(WindowTest, VisibleTexts)
{
    writeBytes(urlListPath(), "a\n\r\nb\rc");
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(u"过滤关键字.txt"_s));
    const BoxAnswerer box;
    QStringList seen;
    QTimer shown;
    QObject::connect(&shown, &QTimer::timeout, [&] {
        auto *form = qobject_cast<Form1 *>(QApplication::activeWindow());
        if (!form)
            return;
        shown.stop();
        const std::unique_ptr<QMenu> menu(form->Text1->createStandardContextMenu());
        seen = QStringList({form->windowTitle(), form->Frame1->title(), form->Label1->text(),
                            form->Label2->text(), form->Label3->text(), form->Command1->text(),
                            form->Command2->text(), form->Command3->text(), form->Command4->text(),
                            form->Check1->text(), form->Check2->text(), box.captions().join(u'|'),
                            box.texts().value(1), box.buttons().join(u'|'),
                            menu->actions().value(0)->text()});
        form->close();
    });
    shown.start(10);
    EXPECT_EQ(runLexhaul(m_dir.path(), Gbk), 0);
    EXPECT_EQ(seen,
              QStringList({u"Lexhaul获取工具1.0       "_s, u"取得关键字地址"_s, u"获取内容"_s, E,
                           u"抓取第4个网址"_s, u"获取"_s, u"生成文本"_s, u"退出"_s, u"删除空行"_s,
                           u"只取榜单"_s, u"只导出新词"_s, u"Lexhaul|Lexhaul"_s, u"共抓取4网址"_s,
                           u"确定|确定"_s, u"撤消(&U)\tCtrl+Z"_s}));
    EXPECT_TRUE(box.texts().value(0).contains(m_dir.filePath(u"过滤关键字.txt"_s)));
}

// A directory another run holds is refused before start-up reads anything.
TEST_F(WindowTest, StartUpRefusesAHeldDirectory)
{
    const BoxAnswerer answerer;
    DirectoryLock held(m_dir.path());
    ASSERT_TRUE(held.tryLock());
    EXPECT_EQ(runLexhaul(m_dir.path(), Gbk), 1);
    ASSERT_EQ(answerer.texts().size(), 1);
    EXPECT_TRUE(
        answerer.texts().at(0).contains(QDir::toNativeSeparators(m_dir.path()))
        && answerer.texts().at(0).contains(QString::number(QCoreApplication::applicationPid())));
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
        Form1 &form = open({"A", "B", "", ""});
        closeOnShutdownRequests(form);
        close(form);
        EXPECT_TRUE(waitUntil([&] { return !form.isVisible(); }));
        EXPECT_EQ(readBytes(urlListPath()), QByteArray(after));
        EXPECT_TRUE(m_boxes->texts().isEmpty());
    }
}

// At the pacing the program really runs at: ten seconds to the rotation and its sleep, then the
// harvest period before the page is harvested, and the crawl ends at the target of one page.
// The page is a board of today's layout (tests/data, written from its description: every
// entry's rank or pinned icon, title and two "查看更多>" links point to one address) with
// links its script adds as it is parsed, in an animation frame and in a timer. With its header,
// tabs and footer in the user's filter file, it gives exactly its titles and the added links.
TEST_F(WindowTest, TodaysBoardAtTheRealPacing)
{
    const QString own = u"首页\n设置\n榜\n换一换\n查看全部\n关于我们\n反馈\n协议\n政策"_s;
    writeBytes(m_dir.filePath(u"过滤关键字.txt"_s), Gbk.encode(own));
    const QByteArray board
        = readBytes(QStringLiteral(LEXHAUL_HOTLIST_DIR "/realtime_board_today.html"));
    m_server.serve(u"/board"_s, board + addedLinks("丙二", "丙三", "丙四"));
    QStringList titles = QString::fromUtf8(board).split(u"class=\"title\""_s).mid(1);
    for (QString &title : titles) // <a class="title" ...><div ...>title</div></a>
        title = title.section(u'>', 2, 2).section(u'<', 0, 0);
    ASSERT_EQ(titles.size(), 31);
    Form1 &form = open({"/board"});
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !m_navigated.isEmpty(); }, 15000));
    const qint64 rotated = clock.elapsed(); // seen once the tick, and so its sleep, is over
    EXPECT_GE(rotated, RealCrawlPacing.rotationPeriodMs + RealCrawlPacing.sleepMs - 50);
    EXPECT_TRUE(keywords().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return completed(); }, 10000));
    EXPECT_GE(clock.elapsed() - rotated, RealCrawlPacing.harvestPeriodMs - 50);
    EXPECT_EQ(keywords(), titles + QStringList({u"丙二"_s, u"丙三"_s, u"丙四"_s}));
}

// A page whose script never yields holds its renderer and the harvest that waits for it: the
// next rotation loads the next page in a fresh renderer, where it is harvested a whole harvest
// period later (its server answers after 0.8 s; the waiting harvest's own countdown would
// have come 0.2 s after the sleep), and a close during such a wait ends it at once, leaving the
// list as it was.
TEST_F(WindowTest, AHungPageCostsOnlyItsOwnAddressAndNeverHoldsTheWindow)
{
    m_server.serve(u"/slow"_s, "<a href=/p1>戊一</a>", "text/html; charset=utf-8", 800);
    Form1 &form = open({"/hang", "/slow", "/hang"}, {3000, 1600, 200, 4, 1, 4, 60000});
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return m_navigated.size() == 3; }, 30000));
    EXPECT_EQ(keywords(), QStringList {u"戊一"_s});
    QElapsedTimer clock;
    QTimer::singleShot(2500, &form, [&] { clock.start(), form.close(); }); // the harvest waits
    EXPECT_TRUE(waitUntil([&] { return clock.isValid() && !form.isVisible(); }, 20000));
    EXPECT_LT(clock.elapsed(), 10000); // not the harvest's timeout
    EXPECT_EQ(keywords(), QStringList {u"戊一"_s});
    EXPECT_FALSE(ticking());
    ::kill(pid_t(form.WebBrowser1->page()->renderProcessPid()), SIGKILL);
}

// Pages that give nothing are named when the crawl ends: a refused connection, and a 404 whose
// page has links of its own (the site's error page: not harvested either). A page that loaded
// with no links was harvested, and is not named.
TEST_F(WindowTest, TheCompletionNamesThePagesThatGaveNothing)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString refused = u"http://127.0.0.1:%1/r"_s.arg(closed.serverPort());
    closed.close();
    m_server.serve(u"/gone"_s, "<a href=/x>死链</a>", "text/html; charset=utf-8", 0,
                   "404 Not Found");
    m_server.serve(u"/empty"_s, "<p>没有链接</p>");
    m_server.serve(u"/q"_s, "<a href=/q1>己一</a>");
    const QByteArray refusedLine = refused.toLatin1();
    Form1 &form = open({"/p", refusedLine.constData(), "/gone", "/empty", "/q"},
                       {2500, 800, 300, 4, 1, 4, 30000});
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !m_boxes->texts().isEmpty(); }, 60000));
    EXPECT_EQ(
        m_boxes->texts(),
        QStringList {
            u"已经全部抓取,请点击生成文本\n有2个网址未能抓取：\n%1：连接被拒绝\n%2：HTTP 404"_s.arg(
                refused, address("/gone"))});
    EXPECT_EQ(keywords(), (QStringList {u"戊一"_s, u"己一"_s}));
}

// 只导出新词: unticked, nothing of a history; ticked, an export appends the keywords the file
// has never had, each once, and a second export of the same list appends nothing. A history
// that is no database fails the export in a box naming it, the list kept. Unticked again, the
// whole list goes as always, the history kept up to date.
TEST_F(WindowTest, TheNewKeywordsBoxExportsEachKeywordOnce)
{
    Form1 &form = open();
    const QString history = m_dir.filePath(u"关键字历史.db"_s);
    const QString keywordPath = form.crawl().keywordFile().path();
    KeywordListModel &list = form.crawl().keywords();
    list.append({u"甲"_s, u"乙"_s, u"甲"_s});
    EXPECT_FALSE(form.Check2->isChecked());
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    EXPECT_FALSE(QFile::exists(history));
    QTest::mouseClick(form.Check2, Qt::LeftButton);
    ASSERT_TRUE(form.Check2->isChecked());
    writeBytes(history, "甲\r\n");
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    EXPECT_TRUE(m_boxes->texts().size() == 1 && m_boxes->texts().at(0).contains(history));
    EXPECT_EQ(list.count(), 3);
    ASSERT_TRUE(QFile::remove(history));
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    list.append(u"丙"_s);
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    EXPECT_TRUE(QFile::exists(history));
    EXPECT_EQ(readBytes(keywordPath), Gbk.encode(u"甲\r\n乙\r\n甲\r\n甲\r\n乙\r\n丙\r\n"_s));
    QTest::mouseClick(form.Check2, Qt::LeftButton);
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    EXPECT_EQ(readBytes(keywordPath),
              Gbk.encode(u"甲\r\n乙\r\n甲\r\n甲\r\n乙\r\n丙\r\n甲\r\n乙\r\n甲\r\n丙\r\n"_s));
    EXPECT_EQ(m_boxes->texts().size(), 1);
}

// 只取榜单, unticked at start unless --lists-only ticks it, acts from the next harvest on: a
// social site's hot topics give every link's text, then only their titles. A list rule the
// engine rejects, and one without a selector, are named in a box before the start-up message.
TEST_F(WindowTest, OnlyTheHotListsFromTheNextHarvestAndRulesNamedAtStart)
{
    EXPECT_TRUE(parseCommandLine({u"lexhaul"_s, u"--lists-only"_s}).options.listsOnly);
    EXPECT_TRUE(Form1(m_dir.path(), Gbk, RealCrawlPacing, {true}).Check1->isChecked());
    writeBytes(m_dir.filePath(u"榜单规则.txt"_s), "http://a li..x\r\n\r\nhttp://b\r\nhttp://c li");
    {
        const BoxAnswerer boxes;
        m_form = std::make_unique<Form1>(m_dir.path(), Gbk);
        m_form->Form_Load();
        EXPECT_EQ(boxes.texts().value(1), u"共抓取0网址"_s);
        EXPECT_EQ(
            boxes.texts().value(0),
            u"榜单规则中有2行无法使用，已跳过\n文件：%1\n第1行：浏览器引擎不接受选择器“li..x”\n"
            "第3行：网址前缀后面没有选择器"_s.arg(m_dir.filePath(u"榜单规则.txt"_s)));
    }
    const QString dir = QStringLiteral(LEXHAUL_HOTLIST_DIR);
    m_server.serve(u"/hot"_s, readBytes(dir + u"/social_hot_topics.html"_s));
    Form1 &form = open({"/hot"});
    EXPECT_FALSE(form.Check1->isChecked());
    form.Text1->setText(address("/hot"));
    ASSERT_TRUE(waitUntil(
        [&] { return form.WebBrowser1->pageLoad().stage == PageLoad::Stage::Loaded; }, 30000));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    const QStringList all = keywords();
    QTest::mouseClick(form.Check1, Qt::LeftButton);
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    const QString titles = QString::fromUtf8(readBytes(dir + u"/social_hot_topics.titles.txt"_s));
    EXPECT_EQ(keywords().mid(all.size()), titles.split(u'\n', Qt::SkipEmptyParts));
    EXPECT_GT(all.size(), 54 + 30);
}
