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

QByteArray page(const QStringList &texts)
{
    QByteArray html = "<!doctype html><meta charset=\"utf-8\"><body>";
    for (const QString &text : texts)
        html += "<a href=\"/k/" + QUrl::toPercentEncoding(text) + "\">" + text.toUtf8() + "</a>";
    return html;
}

QString fileIn(const QTemporaryDir &dir, const QString &name)
{
    return dir.filePath(name);
}

// What one export of `items` appends, for comparing the keyword file byte for byte.
QByteArray exportOf(const QStringList &items)
{
    QTemporaryDir dir;
    KeywordFile(dir.path(), Gbk).append(items);
    return readBytes(dir.filePath(KeywordFile::fileName()));
}

class BatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        LoopbackOnly::install();
        m_server.serve(u"/a"_s, page({u"甲一"_s, u"甲二"_s, u"新闻"_s}));
        m_server.serve(u"/b"_s, page({u"乙一"_s}));
        m_server.serve(u"/c"_s, page({u"丙一"_s, u"丙二"_s}));
    }

    QString address(const char *path) const
    {
        return m_server.url(QString::fromLatin1(path)).toString();
    }
    QString urlListPath() const { return fileIn(m_dir, u"抓关键字网址.txt"_s); }
    QString keywordPath() const { return fileIn(m_dir, u"关键字生成.txt"_s); }
    QByteArray threeAddresses() const
    {
        return (address("/a") + u"\r\n"_s + address("/b") + u"\r\n"_s + address("/c")).toUtf8();
    }

    // Runs a batch crawl in this process; `duringRun` is called on every output line while
    // it runs. Returns the status.
    int run(const QByteArray &urlList, const std::function<void(const QString &)> &duringRun = {})
    {
        writeBytes(urlListPath(), urlList);
        m_out.setData({});
        m_err.setData({});
        m_out.open(QIODevice::WriteOnly);
        m_err.open(QIODevice::WriteOnly);
        BatchConsole console(m_out, m_err, false, Gbk);
        BatchRun batch(m_dir.path(), Gbk, console, Quick);
        QTimer watch;
        qsizetype seen = 0;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            const QStringList lines = out();
            for (; duringRun && seen < lines.size(); ++seen)
                duringRun(lines.at(seen));
        });
        watch.start(20);
        const int status = batch.exec();
        m_items = batch.keywords().items();
        m_out.close();
        m_err.close();
        return status;
    }

    QStringList out() const { return Gbk.decode(m_out.data()).split(u'\n', Qt::SkipEmptyParts); }
    QString err() const { return Gbk.decode(m_err.data()); }

    LoopbackServer m_server;
    QTemporaryDir m_dir;
    QBuffer m_out;
    QBuffer m_err;
    QStringList m_items;
};

TEST_F(BatchTest, CrawlsTheWholeListWritingKeywordsAsItGoes)
{
    EXPECT_EQ(run(threeAddresses()), 0) << err().toStdString();
    const QStringList expected {u"甲一"_s, u"甲二"_s, u"乙一"_s, u"丙一"_s, u"丙二"_s};
    EXPECT_EQ(m_items, expected);
    EXPECT_EQ(readBytes(keywordPath()), exportOf(expected));
    EXPECT_EQ(
        out(),
        QStringList({u"共抓取3网址"_s, u"抓取第1个网址\t"_s + address("/a") + u"\t新增2个关键字"_s,
                     u"抓取第2个网址\t"_s + address("/b") + u"\t新增1个关键字"_s,
                     u"抓取第3个网址\t"_s + address("/c") + u"\t新增2个关键字"_s,
                     u"已经全部抓取，共抓取3个网址，5个关键字已写入 "_s + keywordPath()}));
    EXPECT_EQ(readBytes(urlListPath()), threeAddresses()); // compacted: the next run starts at a
    EXPECT_EQ(err(), QString());
}

TEST_F(BatchTest, AnEmptyListEndsAtOnce)
{
    EXPECT_EQ(run({}), 0);
    EXPECT_EQ(out(), QStringList {u"共抓取0网址"_s});
    EXPECT_FALSE(QFileInfo::exists(keywordPath()));
}

// Keywords that cannot be written are kept and tried again; only those still unwritten at
// the end are lost, and then the run fails.
TEST_F(BatchTest, KeywordsThatCannotBeWrittenAreRetriedThenReportedLost)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(u"关键字生成.txt"_s));
    EXPECT_EQ(run(threeAddresses(),
                  [&](const QString &line) {
                      if (line.startsWith(u"抓取第2个网址"_s))
                          QDir(keywordPath()).removeRecursively();
                  }),
              0)
        << err().toStdString();
    EXPECT_TRUE(err().contains(keywordPath())) << err().toStdString();
    EXPECT_EQ(readBytes(keywordPath()), exportOf(m_items));

    QDir(m_dir.path()).remove(u"关键字生成.txt"_s);
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(u"关键字生成.txt"_s));
    EXPECT_EQ(run(threeAddresses()), 1);
    EXPECT_TRUE(err().contains(u"5个关键字未能写入 "_s + keywordPath())) << err().toStdString();
}

TEST_F(BatchTest, MissingListIsReportedAndTheCycleGoesOn)
{
    EXPECT_EQ(run(threeAddresses(),
                  [&](const QString &line) {
                      if (line.startsWith(u"抓取第1个网址"_s))
                          QFile::remove(urlListPath());
                  }),
              1); // the compaction at the end finds no list
    EXPECT_TRUE(err().contains(u"要抓取百度哪个网页的关键字？老大，请告诉我"_s))
        << err().toStdString();
    // Without a list the last address is harvested again until the count is reached.
    EXPECT_EQ(m_items,
              QStringList({u"甲一"_s, u"甲二"_s, u"甲一"_s, u"甲二"_s, u"甲一"_s, u"甲二"_s}));
    EXPECT_TRUE(out().last().startsWith(u"已经全部抓取，共抓取3个网址，6个关键字已写入"_s));
}

TEST_F(BatchTest, TerminationSignalsStopKeepingWhatWasHarvested)
{
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        QFile::remove(keywordPath());
        EXPECT_EQ(run(threeAddresses(),
                      [&](const QString &line) {
                          if (line.startsWith(u"抓取第1个网址"_s))
                              ::raise(signalNumber);
                      }),
                  128 + signalNumber);
        EXPECT_EQ(readBytes(keywordPath()), exportOf({u"甲一"_s, u"甲二"_s})) << signalNumber;
        EXPECT_EQ(readBytes(urlListPath()),
                  (address("/b") + u"\r\n"_s + address("/c") + u"\r\n"_s + address("/a")).toUtf8());
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
    EXPECT_TRUE(answerer.boxes().at(0).text.contains(QDir::toNativeSeparators(m_dir.path())));
    EXPECT_TRUE(
        answerer.boxes().at(0).text.contains(QString::number(QCoreApplication::applicationPid())));
    EXPECT_FALSE(QFileInfo::exists(urlListPath()));
}

// The real executable, as cron would start it.
class ExecutableTest : public BatchTest
{
protected:
    std::unique_ptr<QProcess> start(const QStringList &arguments, const QString &workingDir = {})
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"DISPLAY"_s);
        env.remove(u"WAYLAND_DISPLAY"_s);
        env.remove(u"QT_QPA_PLATFORM"_s); // it must find the offscreen platform itself
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(workingDir.isEmpty() ? m_dir.path() : workingDir);
        process->start(m_program, arguments);
        EXPECT_TRUE(process->waitForStarted());
        return process;
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
    const QByteArray twoAddresses = (address("/a") + u"\r\n"_s + address("/c")).toUtf8();
    writeBytes(urlListPath(), twoAddresses);
    auto first = start({u"--batch"_s, u"--dir"_s, m_dir.path()});
    ASSERT_TRUE(waitForOutput(*first, "共抓取2网址"));

    // However old its lock, a run that is still going holds the directory.
    const QByteArray lockPath = QFile::encodeName(fileIn(m_dir, DirectoryLock::fileName()));
    const timeval dayAgo[2] = {{::time(nullptr) - 86400, 0}, {::time(nullptr) - 86400, 0}};
    ASSERT_EQ(::utimes(lockPath.constData(), dayAgo), 0);
    const QStringList before = dirEntries(m_dir.path());
    auto second = start({u"--batch"_s, u"--dir"_s, m_dir.path()});
    ASSERT_TRUE(second->waitForFinished(30000));
    EXPECT_EQ(second->exitCode(), 1);
    const QString refusal = QString::fromUtf8(second->readAllStandardError());
    EXPECT_TRUE(refusal.contains(m_dir.path())) << refusal.toStdString();
    EXPECT_TRUE(refusal.contains(QString::number(first->processId()))) << refusal.toStdString();
    EXPECT_EQ(dirEntries(m_dir.path()), before);

    ASSERT_TRUE(first->waitForFinished(60000));
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(first->readAllStandardOutput())
                    .contains(u"抓取第2个网址\t"_s + address("/c")));
    EXPECT_EQ(readBytes(keywordPath()), QByteArray("甲一\r\n甲二\r\n丙一\r\n丙二\r\n"));
    EXPECT_EQ(readBytes(urlListPath()), twoAddresses);
}

TEST_F(ExecutableTest, KilledRunLeavesNoLockAndATermStopsTheNext)
{
    writeBytes(urlListPath(), threeAddresses());
    auto killed = start({u"--batch"_s, u"--dir"_s, m_dir.path()});
    ASSERT_TRUE(waitForOutput(*killed, "共抓取3网址"))
        << killed->readAllStandardError().toStdString();
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished());

    auto next = start({u"--batch"_s, u"--dir"_s, m_dir.path()});
    ASSERT_TRUE(waitForOutput(*next, "共抓取3网址"));
    ::kill(pid_t(next->processId()), SIGTERM);
    ASSERT_TRUE(next->waitForFinished(30000));
    EXPECT_EQ(next->exitStatus(), QProcess::CrashExit); // ended by the signal itself
    EXPECT_EQ(next->exitCode(), SIGTERM);
}

TEST_F(ExecutableTest, BadCommandLinesTouchNothing)
{
    QTemporaryDir home;
    const QString copy = home.filePath(u"lexhaul"_s);
    ASSERT_TRUE(QFile::copy(m_program, copy));
    m_program = copy;
    const QList<QStringList> cases {{u"--bogus"_s},
                                    {u"--dir"_s},
                                    {u"--batch"_s, u"--dir"_s},
                                    {u"--batch"_s, u"extra"_s},
                                    {u"--batch"_s, u"--dir"_s, m_dir.filePath(u"new"_s), u"-x"_s},
                                    {u"--dir="_s}};
    for (const QStringList &arguments : cases) {
        auto process = start(arguments, home.path());
        ASSERT_TRUE(process->waitForFinished(30000));
        EXPECT_EQ(process->exitCode(), 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(QString::fromUtf8(process->readAllStandardError()).contains(u"用法"_s));
        EXPECT_EQ(dirEntries(home.path()), QStringList {u"lexhaul"_s});
        EXPECT_EQ(dirEntries(m_dir.path()), QStringList());
    }
    auto help = start({u"--help"_s}, home.path());
    ASSERT_TRUE(help->waitForFinished(30000));
    EXPECT_EQ(help->exitCode(), 0);
    const QString text = QString::fromUtf8(help->readAllStandardOutput());
    for (const char *status : {"  0 ", "  1 ", "  2 ", "  128+N "})
        EXPECT_TRUE(text.contains(QString::fromLatin1(status))) << status;
}

} // namespace
