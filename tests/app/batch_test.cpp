// lexhaul --batch: runs in this process at a shortened pacing, and the real executable as
// cron would start it, over pages served from 127.0.0.1.

#include "app/batchconsole.h"
#include "app/batchrun.h"
#include "harvest/browserpane.h"
#include "support/guisupport.h"
#include "support/loopbackserver.h"
#include "support/testfiles.h"
#include "support/wait.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QThread>

#include <csignal>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const TextEncoding Gbk("GBK");
// Every address as soon as the page before is done; the retry and the look at a page sooner.
constexpr BatchPacing Quick {0, 6, 500, 300, 50, 2000};

class BatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        allowLoopbackOnly();
        // Links from the parser, the parser's script, an animation frame and a timer.
        m_server.serve(
            u"/a"_s, "<a href=/1>甲一</a><a href=/3>新闻</a>" + addedLinks("甲二", "甲三", "甲四"));
        m_server.serve(u"/b"_s, "<a href=/1>乙一</a>");
        m_server.serve(u"/c"_s, "<a href=/1>丙一</a><a href=/2>丙二</a>");
        writeBytes(urlListPath(), urlList("/a", "/b", "/c"));
    }

    QString address(const char *p) const { return m_server.url(QLatin1StringView(p)).toString(); }
    QString urlListPath() const { return m_dir.filePath(u"抓关键字网址.txt"_s); }
    QString keywordPath() const { return m_dir.filePath(u"关键字生成.txt"_s); }
    QByteArray urlList(const char *a, const char *b, const char *c) const
    {
        return u"%1\r\n%2\r\n%3"_s.arg(address(a), address(b), address(c)).toUtf8();
    }
    // A batch crawl in this process over the list.
    int run(const BatchPacing &pacing = Quick, const CrawlOptions &options = {})
    {
        QBuffer out, err;
        out.open(QIODevice::WriteOnly), err.open(QIODevice::WriteOnly);
        BatchConsole console(out, err, false, Gbk);
        const int status = BatchRun(m_dir.path(), Gbk, console, pacing, options).exec();
        m_out = Gbk.decode(out.data()).split(u'\n', Qt::SkipEmptyParts);
        m_err = Gbk.decode(err.data());
        return status;
    }

    LoopbackServer m_server;
    QTemporaryDir m_dir;
    QStringList m_out;
    QString m_err;
};

} // namespace

// A URL list written with LF is crawled as its CR LF twin, and the user's filter phrases are
// counted and used. Keywords that cannot be written are kept and tried again after every page;
// those still unwritten at the end are lost, and then the run fails. A filter file that cannot
// be read is named, and the run goes on with the built-in filters alone.
TEST_F(BatchTest, CrawlsTheWholeListWritingKeywordsAsItGoesOrFailsToWriteThem)
{
    writeBytes(urlListPath(), urlList("/a", "/b", "/c").replace("\r\n", "\n"));
    writeBytes(m_dir.filePath(u"过滤关键字.txt"_s), Gbk.encode(u"甲一\n\n乙\n"_s));
    EXPECT_EQ(run(), 0) << m_err.toStdString();
    EXPECT_EQ(readBytes(keywordPath()), Gbk.encode(u"甲二\r\n甲三\r\n甲四\r\n丙一\r\n丙二\r\n"_s));
    EXPECT_EQ(m_out,
              QStringList({u"共抓取3网址，另加2个过滤关键字"_s,
                           u"抓取第1个网址\t%1\t新增3个关键字"_s.arg(address("/a")),
                           u"抓取第2个网址\t%1\t新增0个关键字"_s.arg(address("/b")),
                           u"抓取第3个网址\t%1\t新增2个关键字"_s.arg(address("/c")),
                           u"已经全部抓取，共抓取3个网址，5个关键字已写入 "_s + keywordPath()}));
    EXPECT_EQ(readBytes(urlListPath()), urlList("/a", "/b", "/c")); // next run starts at a
    const QByteArray atOnce = readBytes(keywordPath());
    ASSERT_TRUE(QFile::remove(keywordPath()));
    EXPECT_EQ(run(BatchPacing {}), 0); // the default pace: 10 s per address
    EXPECT_EQ(readBytes(keywordPath()), atOnce);

    ASSERT_TRUE(QFile::remove(keywordPath()) && QDir(m_dir.path()).mkdir(u"关键字生成.txt"_s)
                && QFile::remove(m_dir.filePath(u"过滤关键字.txt"_s))
                && QDir(m_dir.path()).mkdir(u"过滤关键字.txt"_s));
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(m_out.value(0) == u"共抓取3网址，另加0个过滤关键字"_s
                && m_err.contains(m_dir.filePath(u"过滤关键字.txt"_s)));
    EXPECT_EQ(m_err.count(u"尚未写入"_s), 4) << m_err.toStdString(); // three pages, the end
    EXPECT_TRUE(m_err.contains(u"7个关键字未能写入 "_s + keywordPath())) << m_err.toStdString();
}

// Each page's fate. A refused connection and an HTTP 500 are tried once more, a 404 is not; a
// page that answers late is waited for, and so are the links it adds; one that never answers
// fails as timed out, after a second try; one whose links never stand still is taken as it is
// at its timeout, and says so; one whose script never yields costs its own address only, and
// the next page of the same server is harvested; one whose renderer dies fails as crashed,
// after a second try. Every address counts, and the run that could not load some of them ends
// with status 3.
TEST_F(BatchTest, PagesThatCannotBeLoadedAreSaidAndCountedAndTheRunGoesOn)
{
    QTcpServer closed; // a port nothing listens on
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString refused = u"http://127.0.0.1:%1/"_s.arg(closed.serverPort());
    closed.close();
    const QByteArray html = "text/html; charset=utf-8";
    m_server.serve(u"/e404"_s, "<a href=/1>不要</a>", html, 0, "404 Not Found");
    m_server.serve(u"/e500"_s, "<a href=/1>不要</a>", html, 0, "500 Internal Server Error");
    m_server.serve(u"/late"_s, // and adds links 300 and 700 ms after it has loaded
                   "<a href=/1>迟到</a><script>onload = () => [300, 700].forEach((ms, i) => "
                   "setTimeout(() => document.body.insertAdjacentHTML('beforeend', "
                   "`<a href=/l${i}>迟到${i}</a>`), ms));</script>",
                   html, 4000);
    m_server.serve(u"/busy"_s,
                   "<a href=/1>忙</a><script>let n = 0; setInterval(() => "
                   "{ document.links[0].textContent = '忙' + (++n % 2); }, 100);</script>");
    m_server.serve(u"/hang"_s,
                   "<a href=/1>挂起</a><script>onload = () => setTimeout(() => "
                   "{ for (;;); }, 100);</script>");
    m_server.serve(u"/never"_s, "", html, 3'600'000);
    m_server.serve(u"/crash"_s, "<a href=/1>崩溃</a>");
    const QStringList list = {refused,          address("/e404"), address("/e500"),
                              address("/late"), address("/busy"), address("/never"),
                              address("/hang"), address("/b"),    address("/crash")};
    writeBytes(urlListPath(), list.join(u"\r\n"_s).toUtf8());
    QTimer crash; // /crash's renderer dies as soon as it has loaded, as one out of memory does
    QObject::connect(&crash, &QTimer::timeout, [] {
        for (QWidget *widget : QApplication::allWidgets())
            if (auto *pane = qobject_cast<BrowserPane *>(widget); pane
                && pane->url().path() == u"/crash"_s && pane->page()->renderProcessPid() > 0
                && pane->pageLoad().stage == PageLoad::Stage::Loaded)
                ::kill(pid_t(pane->page()->renderProcessPid()), SIGKILL);
    });
    crash.start(20);

    EXPECT_EQ(run(), 3) << m_err.toStdString();
    EXPECT_EQ(m_server.requests(u"/e404"_s), 1);
    EXPECT_EQ(m_server.requests(u"/e500"_s) + m_server.requests(u"/never"_s)
                  + m_server.requests(u"/crash"_s),
              6);
    EXPECT_EQ(
        m_err,
        u"无法打开网页 %1：连接被拒绝\n无法打开网页 %2：HTTP 404\n无法打开网页 %3：HTTP 500\n"
        "无法打开网页 %4：超时\n无法打开网页 %5：页面无响应\n无法打开网页 %6：页面崩溃\n"_s.arg(
            list[0], list[1], list[2], list[5], list[6], list[8]));
    ASSERT_EQ(m_out.size(), 11) << m_out.join(u'\n').toStdString();
    EXPECT_EQ(m_out[2], u"抓取第2个网址\t%1\t无法打开：HTTP 404"_s.arg(list[1]));
    EXPECT_EQ(m_out[4], u"抓取第4个网址\t%1\t新增3个关键字"_s.arg(list[3]));
    EXPECT_TRUE(m_out[5].startsWith(u"抓取第5个网址\t%1\t新增1个关键字（超时"_s.arg(list[4])));
    EXPECT_EQ(
        m_out[10],
        u"已经全部抓取，共抓取9个网址，5个关键字已写入 %1，6个网址无法打开"_s.arg(keywordPath()));
    // The busy page's text is as it stood at the timeout.
    EXPECT_TRUE(QRegularExpression(u"^迟到\r\n迟到0\r\n迟到1\r\n忙[01]\r\n乙一\r\n$"_s)
                    .match(Gbk.decode(readBytes(keywordPath())))
                    .hasMatch());
}

// With --lists-only a board gives its titles alone. A page a rule of 榜单规则.txt is for gives
// the elements its selector selects, links or not, and the other lines are named and skipped.
TEST_F(BatchTest, ListsOnlyAndTheUsersRules)
{
    const QString dir = QStringLiteral(LEXHAUL_HOTLIST_DIR);
    m_server.serve(u"/a"_s, readBytes(dir + u"/board_realtime_2025.html"_s));
    m_server.serve(u"/b/r"_s,
                   "<a href=/1>不要</a><div class=x onclick='open(1)'>戊一</div>"
                   "<div class=x><span>1</span><span>戊二</span></div>"
                   "<a href=/2><b class=x>戊三</b></a>");
    writeBytes(urlListPath(), (address("/a") + u"\n"_s + address("/b/r")).toUtf8());
    writeBytes(m_dir.filePath(u"榜单规则.txt"_s),
               Gbk.encode(u"%1b .x\n\t\n%1b/r\n%1 :nth-child(\n"_s.arg(address("/"))));
    EXPECT_EQ(run(Quick, {true}), 0) << m_err.toStdString();
    EXPECT_EQ(m_out.value(0), u"共抓取2网址，使用1条榜单规则"_s);
    EXPECT_TRUE(m_err.contains(
        u"第3行：网址前缀后面没有选择器\n第4行：浏览器引擎不接受选择器“:nth-child(”"_s))
        << m_err.toStdString();
    EXPECT_EQ(Gbk.decode(readBytes(keywordPath())),
              QString::fromUtf8(readBytes(dir + u"/board_realtime_2025.titles.txt"_s))
                      .replace(u'\n', u"\r\n"_s)
                  + u"戊一\r\n戊二\r\n戊三\r\n"_s);
}

// The real executable, without a display or a locale, as cron would start it.
class ExecutableTest : public BatchTest
{
protected:
    // Started, and waited for until `until` is on its standard output, which stays readable.
    std::unique_ptr<QProcess> start(const QStringList &arguments, const QByteArray &until = {})
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(m_environment);
        process->setWorkingDirectory(m_home.path());
        process->start(m_program, arguments);
        EXPECT_TRUE(process->waitForStarted());
        EXPECT_TRUE(waitUntil([&] { return process->peek(1 << 20).contains(until); }, 30000));
        return process;
    }
    QStringList batch() const { return {u"--batch"_s, u"--dir"_s, m_dir.path()}; }

    QTemporaryDir m_home;
    QString m_program = QString::fromLocal8Bit(LEXHAUL_EXECUTABLE);
    QProcessEnvironment m_environment = [] {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            env.remove(name);
        env.insert(u"LC_ALL"_s, u"C"_s); // no locale configured: files and output are UTF-8 then
        return env;
    }();
};

// At the pacing the program really runs at. A killed run leaves its lock behind, which does
// not hold the directory; a run that is still going does. Every page's keywords are in the
// keyword file by the time its line is out, and a TERM ends the run by that signal, its list
// compacted.
TEST_F(ExecutableTest, BatchRunsHoldTheirDirectoryWriteAsTheyGoAndEndBySignal)
{
    start(batch(), "共抓取3网址")->kill();
    auto first = start(batch(), u"抓取第1个网址\t%1"_s.arg(address("/a")).toUtf8());
    EXPECT_EQ(readBytes(keywordPath()), QByteArray("甲一\r\n甲二\r\n甲三\r\n甲四\r\n"));
    auto second = start(batch());
    ASSERT_TRUE(second->waitForFinished(30000));
    EXPECT_EQ(second->exitCode(), 1);
    EXPECT_TRUE(
        QString::fromUtf8(second->readAllStandardError())
            .contains(u"进程 %1）正在使用目录 %2"_s.arg(first->processId()).arg(m_dir.path())));
    first->terminate(); // SIGTERM, and only to a process still running
    ASSERT_TRUE(first->waitForFinished(30000));
    EXPECT_EQ(std::pair(first->exitStatus(), first->exitCode()),
              std::pair(QProcess::CrashExit, SIGTERM)); // ended by the signal itself
    EXPECT_EQ(readBytes(keywordPath()), QByteArray("甲一\r\n甲二\r\n甲三\r\n甲四\r\n"));
    EXPECT_EQ(readBytes(urlListPath()), urlList("/b", "/c", "/a"));
}

TEST_F(ExecutableTest, BadCommandLinesTouchNothing)
{
    ASSERT_TRUE(QFile::copy(m_program, m_home.filePath(u"lexhaul"_s)));
    m_program = m_home.filePath(u"lexhaul"_s);
    for (const QString &line :
         {u"--bogus"_s, u"--batch --dir"_s, u"--batch extra"_s, u"--dir="_s, u"--interval 5"_s,
          u"--batch --interval"_s, u"--batch --interval=-1"_s, u"--batch --timeout 1e3"_s,
          u"--batch --timeout=.5"_s, u"--batch --timeout 0"_s, u"--batch --timeout 0.999"_s,
          u"--history --batch"_s, u"--history --interval 5"_s, u"--history --new-only"_s}) {
        auto process = start(line.split(u' '));
        ASSERT_TRUE(process->waitForFinished(30000));
        EXPECT_EQ(process->exitCode(), 2) << line.toStdString();
        EXPECT_TRUE(process->readAllStandardError().contains("用法"));
        EXPECT_EQ(dirEntries(m_home.path()), QStringList {u"lexhaul"_s});
        EXPECT_EQ(dirEntries(m_dir.path()), QStringList {u"抓关键字网址.txt"_s});
    }
}

// What a page's scripts write to their console is theirs: a run over a page that logs, warns,
// fails and throws says nothing on standard error and ends well; with --lists-only, the page's
// hot list gives its titles alone.
TEST_F(ExecutableTest, PageScriptsDoNotWriteToStandardErrorAndListsOnlyGivesTitles)
{
    const QString dir = QStringLiteral(LEXHAUL_HOTLIST_DIR);
    m_server.serve(u"/q"_s,
                   readBytes(dir + u"/qa_hot_list.html"_s)
                       + "<script>console.log('a log line'); console.warn('a warning'); "
                         "console.error('an error'); undefinedFunction();</script>");
    writeBytes(urlListPath(), address("/q").toUtf8());
    auto process = start(
        batch() + QStringList {u"--lists-only"_s, u"--interval"_s, u"0"_s, u"--timeout"_s, u"1"_s});
    ASSERT_TRUE(process->waitForFinished(60000));
    EXPECT_EQ(process->exitCode(), 0);
    EXPECT_EQ(process->readAllStandardError(), QByteArray());
    EXPECT_EQ(readBytes(keywordPath()),
              readBytes(dir + u"/qa_hot_list.titles.txt"_s).replace("\n", "\r\n"));
}

// New keywords only: the history is created when they are asked for and never otherwise; a
// second run over pages that share keywords with the first writes only those the file never
// had, each once, and says how many it left out; a run without the option writes everything
// and keeps the history up to date; --history tells how often and where each was last seen.
// A history that is no database stops a run before it writes anything.
TEST_F(ExecutableTest, NewKeywordsOnlyAndTheirHistory)
{
    const QString history = m_dir.filePath(u"关键字历史.db"_s);
    QString out, err;
    const auto runBatch = [&](const QStringList &options) {
        auto process = start(batch() + QStringList {u"--interval"_s, u"0"_s} + options);
        EXPECT_TRUE(process->waitForFinished(60000));
        out = QString::fromUtf8(process->readAllStandardOutput());
        err = QString::fromUtf8(process->readAllStandardError());
        return process->exitCode();
    };
    EXPECT_EQ(runBatch({}), 0);
    EXPECT_FALSE(QFile::exists(history));
    ASSERT_TRUE(QFile::remove(keywordPath()));

    writeBytes(history, "甲一\r\n");
    EXPECT_EQ(runBatch({u"--new-only"_s}), 1);
    EXPECT_TRUE(err.contains(history)) << err.toStdString();
    EXPECT_FALSE(QFile::exists(keywordPath()));
    EXPECT_EQ(readBytes(history), "甲一\r\n");
    ASSERT_TRUE(QFile::remove(history));

    EXPECT_EQ(runBatch({u"--new-only"_s}), 0);
    const QByteArray first = "甲一\r\n甲二\r\n甲三\r\n甲四\r\n乙一\r\n丙一\r\n丙二\r\n";
    EXPECT_EQ(readBytes(keywordPath()), first);
    m_server.serve(u"/b"_s, "<a href=/1>乙一</a><a href=/2>乙二</a><a href=/3>乙二</a>");
    m_server.serve(u"/c"_s, "<a href=/1>丙一</a><a href=/2>甲一</a>");
    EXPECT_EQ(runBatch({u"--new-only"_s}), 0);
    EXPECT_EQ(readBytes(keywordPath()), first + "乙二\r\n");
    EXPECT_TRUE(
        out.endsWith(u"1个新关键字已写入 %1，8个以前已写入过，未再写入\n"_s.arg(keywordPath())))
        << out.toStdString();

    EXPECT_EQ(runBatch({}), 0); // everything, as without a history
    EXPECT_EQ(readBytes(keywordPath()),
              QByteArray(first + "乙二\r\n" + first.first(32)
                         + "乙一\r\n乙二\r\n乙二\r\n丙一\r\n甲一\r\n"));
    auto csv = start({u"--history"_s, u"--dir"_s, m_dir.path()});
    ASSERT_TRUE(csv->waitForFinished(30000));
    EXPECT_EQ(csv->exitCode(), 0);
    const QStringList rows = QString::fromUtf8(csv->readAllStandardOutput()).split(u"\r\n"_s);
    EXPECT_EQ(rows.value(0), u"关键字,首次出现,最近出现,出现次数,最近网址"_s);
    // Times seen and the last address, after the two times and the keyword.
    EXPECT_EQ(rows.filter(u"甲一,"_s).value(0).section(u',', 3), u"5,"_s + address("/c"));
    EXPECT_EQ(rows.filter(u"乙二,"_s).value(0).section(u',', 3), u"2,"_s + address("/b"));
    EXPECT_EQ(rows.size(), 1 + 8 + 1); // the header, eight keywords, the last line's end
}

// A run killed with SIGKILL wherever it stands leaves a sound history, and the next run writes
// no keyword that the killed one wrote.
TEST_F(ExecutableTest, AKilledNewOnlyRunWritesNothingTwice)
{
    m_server.serve(u"/c"_s, "<a href=/1>丙一</a><a href=/2>丙二</a>", "text/html; charset=utf-8",
                   1500);
    for (int round = 0; round < 3; ++round) {
        auto killed = start(batch() + QStringList {u"--new-only"_s, u"--interval"_s, u"0"_s},
                            round == 0 ? "抓取第1个网址" : "抓取第2个网址");
        QThread::msleep(ulong(round * 700));
        ::kill(pid_t(killed->processId()), SIGKILL);
        ASSERT_TRUE(killed->waitForFinished(30000));
    }
    auto last = start(batch() + QStringList {u"--new-only"_s, u"--interval"_s, u"0"_s});
    ASSERT_TRUE(last->waitForFinished(60000));
    EXPECT_EQ(last->exitCode(), 0) << last->readAllStandardError().toStdString();
    QStringList lines = QString::fromUtf8(readBytes(keywordPath())).split(u"\r\n"_s);
    lines.sort();
    EXPECT_EQ(lines,
              QStringList({QString(), u"丙一"_s, u"丙二"_s, u"乙一"_s, u"甲一"_s, u"甲三"_s,
                           u"甲二"_s, u"甲四"_s}));
    auto csv = start({u"--history"_s, u"--dir"_s, m_dir.path()});
    ASSERT_TRUE(csv->waitForFinished(30000));
    EXPECT_EQ(csv->exitCode(), 0);
}

// As root, without the engine's sandbox switched off by the user, a run says what to do before
// it touches anything.
TEST_F(ExecutableTest, AsRootTheEnginesSandboxIsExplainedNotSwitchedOff)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root meets the sandbox's refusal";
    m_environment.insert(u"QTWEBENGINE_CHROMIUM_FLAGS"_s, u"--disable-gpu"_s);
    m_environment.remove(u"QTWEBENGINE_DISABLE_SANDBOX"_s);
    auto process = start(batch());
    ASSERT_TRUE(process->waitForFinished(30000));
    EXPECT_EQ(process->exitCode(), 1);
    const QString said = QString::fromUtf8(process->readAllStandardError());
    EXPECT_TRUE(said.contains(u"root"_s) && said.contains(u"QTWEBENGINE_DISABLE_SANDBOX=1"_s))
        << said.toStdString();
    EXPECT_TRUE(process->readAllStandardOutput().isEmpty());
    EXPECT_EQ(dirEntries(m_dir.path()), QStringList {u"抓关键字网址.txt"_s});
}
