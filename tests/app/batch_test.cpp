// lexhaul --batch: runs in this process at a shortened pacing, and the real executable as
// cron would start it, over pages served from 127.0.0.1.

#include "app/batchconsole.h"
#include "app/batchrun.h"
#include "app/directorylock.h"
#include "app/program.h"
#include "output/keywordexport.h"
#include "support/guisupport.h"
#include "support/loopbackserver.h"
#include "support/testfiles.h"
#include "support/wait.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/time.h>

using namespace Qt::StringLiterals;

namespace {

const TextEncoding Gbk("GBK");
constexpr CrawlPacing Quick {900, 200, 200, 4, 1, 4};

class BatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        LoopbackOnly::install();
        m_server.serve(u"/a"_s, "<a href=/1>甲一</a><a href=/2>甲二</a><a href=/3>新闻</a>");
        m_server.serve(u"/b"_s, "<a href=/1>乙一</a>");
        m_server.serve(u"/c"_s, "<a href=/1>丙一</a><a href=/2>丙二</a>");
    }

    QString address(const char *path) const
    {
        return m_server.url(QString::fromLatin1(path)).toString();
    }
    QString urlListPath() const { return m_dir.filePath(u"抓关键字网址.txt"_s); }
    QString keywordPath() const { return m_dir.filePath(u"关键字生成.txt"_s); }
    QByteArray urlList(const QList<const char *> &paths) const
    {
        QStringList lines;
        for (const char *path : paths)
            lines.append(address(path));
        return lines.join(u"\r\n"_s).toUtf8();
    }
    // What one export of `items` appends, for comparing the keyword file byte for byte.
    static QByteArray exportOf(const QStringList &items)
    {
        QTemporaryDir dir;
        KeywordFile(dir.path(), Gbk).append(items);
        return readBytes(dir.filePath(KeywordFile::fileName()));
    }

    // A batch crawl in this process; `afterPage(n)` runs once page n's line is out.
    int run(const QByteArray &list, const std::function<void(int)> &afterPage = {})
    {
        writeBytes(urlListPath(), list);
        QBuffer out, err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        BatchConsole console(out, err, false, Gbk);
        BatchRun batch(m_dir.path(), Gbk, console, Quick);
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            m_out = Gbk.decode(out.data()).split(u'\n', Qt::SkipEmptyParts);
            for (; afterPage && m_pagesSeen < m_out.size() - 1; ++m_pagesSeen)
                afterPage(m_pagesSeen + 1);
        });
        watch.start(20);
        m_pagesSeen = 0;
        const int status = batch.exec();
        m_out = Gbk.decode(out.data()).split(u'\n', Qt::SkipEmptyParts);
        m_err = Gbk.decode(err.data());
        m_items = batch.keywords().items();
        return status;
    }

    LoopbackServer m_server;
    QTemporaryDir m_dir;
    QStringList m_out;
    QString m_err;
    QStringList m_items;
    int m_pagesSeen = 0;
};

} // namespace

TEST_F(BatchTest, CrawlsTheWholeListWritingKeywordsAsItGoes)
{
    EXPECT_EQ(run(urlList({"/a", "/b", "/c"})), 0) << m_err.toStdString();
    const QStringList expected {u"甲一"_s, u"甲二"_s, u"乙一"_s, u"丙一"_s, u"丙二"_s};
    EXPECT_EQ(m_items, expected);
    EXPECT_EQ(readBytes(keywordPath()), exportOf(expected));
    EXPECT_EQ(
        m_out,
        QStringList({u"共抓取3网址"_s, u"抓取第1个网址\t%1\t新增2个关键字"_s.arg(address("/a")),
                     u"抓取第2个网址\t%1\t新增1个关键字"_s.arg(address("/b")),
                     u"抓取第3个网址\t%1\t新增2个关键字"_s.arg(address("/c")),
                     u"已经全部抓取，共抓取3个网址，5个关键字已写入 "_s + keywordPath()}));
    EXPECT_EQ(readBytes(urlListPath()),
              urlList({"/a", "/b", "/c"})); // compacted: next run starts at a
    EXPECT_EQ(m_err, QString());

    QFile::remove(keywordPath());
    EXPECT_EQ(run({}), 0); // no line: nothing to wait for
    EXPECT_EQ(m_out, QStringList {u"共抓取0网址"_s});
    EXPECT_FALSE(QFileInfo::exists(keywordPath()));
}

// Keywords that cannot be written are kept and tried again; only those still unwritten at
// the end are lost, and then the run fails.
TEST_F(BatchTest, KeywordsThatCannotBeWrittenAreRetriedThenReportedLost)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(u"关键字生成.txt"_s));
    const auto unblock = [&](int page) {
        if (page == 2)
            QDir(keywordPath()).removeRecursively();
    };
    EXPECT_EQ(run(urlList({"/a", "/b", "/c"}), unblock), 0) << m_err.toStdString();
    EXPECT_TRUE(m_err.contains(keywordPath())) << m_err.toStdString();
    EXPECT_EQ(readBytes(keywordPath()), exportOf(m_items));

    ASSERT_TRUE(QFile::remove(keywordPath()) && QDir(m_dir.path()).mkdir(u"关键字生成.txt"_s));
    EXPECT_EQ(run(urlList({"/a", "/b", "/c"})), 1);
    EXPECT_TRUE(m_err.contains(u"5个关键字未能写入 "_s + keywordPath())) << m_err.toStdString();
}

TEST_F(BatchTest, MissingListIsReportedAndTheCycleGoesOn)
{
    const auto remove = [&](int page) {
        if (page == 1)
            QFile::remove(urlListPath());
    };
    EXPECT_EQ(run(urlList({"/a", "/b", "/c"}), remove), 1); // the final compaction finds no list
    EXPECT_TRUE(m_err.contains(u"要抓取百度哪个网页的关键字？老大，请告诉我"_s))
        << m_err.toStdString();
    // Without a list the last address is harvested again until the count is reached.
    EXPECT_EQ(m_items,
              QStringList({u"甲一"_s, u"甲二"_s, u"甲一"_s, u"甲二"_s, u"甲一"_s, u"甲二"_s}));
    EXPECT_TRUE(m_out.last().startsWith(u"已经全部抓取，共抓取3个网址，6个关键字已写入"_s));
}

TEST_F(BatchTest, TerminationSignalsStopKeepingWhatWasHarvested)
{
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        QFile::remove(keywordPath());
        const auto stop = [&](int page) {
            if (page == 1)
                ::raise(signalNumber);
        };
        EXPECT_EQ(run(urlList({"/a", "/b", "/c"}), stop), 128 + signalNumber);
        EXPECT_EQ(readBytes(keywordPath()), exportOf({u"甲一"_s, u"甲二"_s})) << signalNumber;
        EXPECT_EQ(readBytes(urlListPath()), urlList({"/b", "/c", "/a"}));
    }
}

TEST_F(BatchTest, TheWindowRefusesADirectoryInUse)
{
    DirectoryLock held(m_dir.path());
    ASSERT_TRUE(held.tryLock());
    BoxAnswerer answerer;
    EXPECT_EQ(runLexhaul(m_dir.path(), Gbk), 1);
    ASSERT_EQ(answerer.boxes().size(), 1);
    EXPECT_EQ(answerer.boxes().at(0).title, u"Lexhaul");
    EXPECT_TRUE(answerer.texts().at(0).contains(QDir::toNativeSeparators(m_dir.path())));
    EXPECT_TRUE(
        answerer.texts().at(0).contains(QString::number(QCoreApplication::applicationPid())));
    EXPECT_FALSE(QFileInfo::exists(urlListPath()));
}

// The real executable, without a display, as cron would start it.
class ExecutableTest : public BatchTest
{
protected:
    std::unique_ptr<QProcess> start(const QStringList &arguments, const QString &workingDir = {})
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            env.remove(name);
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(workingDir.isEmpty() ? m_dir.path() : workingDir);
        process->start(m_program, arguments);
        EXPECT_TRUE(process->waitForStarted());
        return process;
    }
    std::unique_ptr<QProcess> startBatch()
    {
        return start({u"--batch"_s, u"--dir"_s, m_dir.path()});
    }
    // Waits for `text` on the process's standard output, which stays readable afterwards.
    static bool waitForOutput(QProcess &process, const QByteArray &text)
    {
        return waitUntil([&] { return process.peek(1 << 20).contains(text); }, 30000);
    }

    QString m_program = QString::fromLocal8Bit(LEXHAUL_EXECUTABLE);
};

TEST_F(ExecutableTest, BatchRunAtTheRealPacingHoldingItsDirectory)
{
    writeBytes(urlListPath(), urlList({"/a", "/c"}));
    auto first = startBatch();
    ASSERT_TRUE(waitForOutput(*first, "共抓取2网址"));

    // However old its lock, a run that is still going holds the directory.
    const QByteArray lockPath = QFile::encodeName(m_dir.filePath(DirectoryLock::fileName()));
    const timeval dayAgo[2] = {{::time(nullptr) - 86400, 0}, {::time(nullptr) - 86400, 0}};
    ASSERT_EQ(::utimes(lockPath.constData(), dayAgo), 0);
    const QStringList before = dirEntries(m_dir.path());
    auto second = startBatch();
    ASSERT_TRUE(second->waitForFinished(30000));
    EXPECT_EQ(second->exitCode(), 1);
    const QString refusal = QString::fromUtf8(second->readAllStandardError());
    EXPECT_TRUE(refusal.contains(m_dir.path())
                && refusal.contains(QString::number(first->processId())))
        << refusal.toStdString();
    EXPECT_EQ(dirEntries(m_dir.path()), before);

    ASSERT_TRUE(first->waitForFinished(60000));
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_TRUE(first->readAllStandardOutput().contains(
        u"抓取第2个网址\t%1"_s.arg(address("/c")).toUtf8()));
    EXPECT_EQ(readBytes(keywordPath()), QByteArray("甲一\r\n甲二\r\n丙一\r\n丙二\r\n"));
    EXPECT_EQ(readBytes(urlListPath()), urlList({"/a", "/c"}));
}

TEST_F(ExecutableTest, KilledRunLeavesNoLockAndATermStopsTheNext)
{
    writeBytes(urlListPath(), urlList({"/a", "/b", "/c"}));
    auto killed = startBatch();
    ASSERT_TRUE(waitForOutput(*killed, "共抓取3网址"))
        << killed->readAllStandardError().toStdString();
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished());

    auto next = startBatch();
    ASSERT_TRUE(waitForOutput(*next, "共抓取3网址"));
    ::kill(pid_t(next->processId()), SIGTERM);
    ASSERT_TRUE(next->waitForFinished(30000));
    EXPECT_EQ(next->exitStatus(), QProcess::CrashExit); // ended by the signal itself
    EXPECT_EQ(next->exitCode(), SIGTERM);
}

TEST_F(ExecutableTest, BadCommandLinesTouchNothing)
{
    QTemporaryDir home;
    ASSERT_TRUE(QFile::copy(m_program, home.filePath(u"lexhaul"_s)));
    m_program = home.filePath(u"lexhaul"_s);
    const QList<QStringList> cases {{u"--bogus"_s},
                                    {u"--batch"_s, u"--dir"_s},
                                    {u"--batch"_s, u"extra"_s},
                                    {u"--batch"_s, u"--dir"_s, m_dir.filePath(u"new"_s), u"-x"_s},
                                    {u"--dir="_s}};
    for (const QStringList &arguments : cases) {
        auto process = start(arguments, home.path());
        ASSERT_TRUE(process->waitForFinished(30000));
        EXPECT_EQ(process->exitCode(), 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(process->readAllStandardError().contains("用法"));
        EXPECT_EQ(dirEntries(home.path()), QStringList {u"lexhaul"_s});
        EXPECT_EQ(dirEntries(m_dir.path()), QStringList());
    }
    auto help = start({u"--help"_s}, home.path());
    ASSERT_TRUE(help->waitForFinished(30000));
    EXPECT_EQ(help->exitCode(), 0);
    const QByteArray text = help->readAllStandardOutput();
    for (const char *status : {"  0 ", "  1 ", "  2 ", "  128+N "})
        EXPECT_TRUE(text.contains(status)) << status;
}
