#include "core/fileerror.h"
#include "history/keywordhistory.h"
#include "support/testfiles.h"

#include <QBuffer>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <csignal>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray csv(const QString &directory)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    KeywordHistory::writeCsv(directory, out);
    return out.data();
}

const QByteArray Header = u"关键字,首次出现,最近出现,出现次数,最近网址\r\n"_s.toUtf8();

QDateTime utc(int day, int hour, int minute, int second)
{
    return QDateTime(QDate(2026, 3, day), QTime(hour, minute, second), Qt::UTC);
}

// Local time eight hours east of UTC, without the time zone database.
class ChinaTime : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("TZ", "CST-8");
        ::tzset();
    }
};

} // namespace

// A keyword counts once per page however often it stands there; first seen stays, last seen
// and the address follow the latest page; keywords that differ in any character are apart.
// The CSV lists the newest first seen first, one page's keywords in harvest order, in local
// time.
TEST_F(ChinaTime, RecordsEveryPageOnce)
{
    QTemporaryDir dir;
    {
        KeywordHistory history(dir.path(), true);
        history.record({u"https://a.example/1"_s, {u"热搜一"_s, u"热搜二"_s, u"热搜一"_s}},
                       utc(1, 0, 0, 0));
        history.record({u"https://b.example/2"_s,
                        {u"热搜二"_s, u"热搜三"_s, u"热搜三 "_s, u"Abc"_s, u"abc"_s}},
                       utc(1, 1, 30, 5));
        history.record({u"https://a.example/1"_s, {u"热搜二"_s}}, utc(2, 16, 0, 0));
    }
    EXPECT_EQ(csv(dir.path()),
              Header
                  + u"热搜三,2026-03-01 09:30:05,2026-03-01 09:30:05,1,https://b.example/2\r\n"
                    u"热搜三 ,2026-03-01 09:30:05,2026-03-01 09:30:05,1,https://b.example/2\r\n"
                    u"Abc,2026-03-01 09:30:05,2026-03-01 09:30:05,1,https://b.example/2\r\n"
                    u"abc,2026-03-01 09:30:05,2026-03-01 09:30:05,1,https://b.example/2\r\n"
                    u"热搜一,2026-03-01 08:00:00,2026-03-01 08:00:00,1,https://a.example/1\r\n"
                    u"热搜二,2026-03-01 08:00:00,2026-03-03 00:00:00,3,https://a.example/1\r\n"_s
                        .toUtf8());
    EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
}

// Fields with a comma, a quote or a line break are quoted, their quotes doubled (RFC 4180).
TEST_F(ChinaTime, QuotesFieldsAsCsvWants)
{
    QTemporaryDir dir;
    KeywordHistory(dir.path(), true)
        .record({u"https://a.example/?q=1,2"_s,
                 {u"a,b"_s, u"说\"好\""_s, u"两\n行"_s, u"回\r车"_s, QString()}},
                utc(1, 0, 0, 0));
    const QString row
        = u",2026-03-01 08:00:00,2026-03-01 08:00:00,1,\"https://a.example/?q=1,2\"\r\n"_s;
    EXPECT_EQ(csv(dir.path()),
              Header
                  + (u"\"a,b\""_s + row + u"\"说\"\"好\"\"\""_s + row + u"\"两\n行\""_s + row
                     + u"\"回\r车\""_s + row + row)
                        .toUtf8());
}

// What the keyword file is to get: new-only, each keyword it has never had, once, in order;
// otherwise all it is given. A write that did not make the file grow (a full disk, a kill
// before it wrote) is taken back at the next change, one that did is kept; a keyword exported
// before it was ever recorded is kept as written, seen on no page; reopening keeps it all.
TEST_F(ChinaTime, GivesTheKeywordFileEachKeywordOnce)
{
    QTemporaryDir dir;
    const QString a = u"https://a.example/"_s;
    {
        KeywordHistory history(dir.path(), true);
        const QStringList first {u"甲"_s, u"乙"_s, u"甲"_s, u"丙"_s};
        EXPECT_EQ(history.record({a, first, first, true, 0}, utc(1, 0, 0, 0)),
                  QStringList({u"甲"_s, u"乙"_s, u"丙"_s}));
        EXPECT_EQ(history.unwritten(first), QStringList());
        // The file never got them: an export of the list gives them again.
        const QStringList list {u"乙"_s, u"甲"_s, u"乙"_s, u"丁"_s};
        EXPECT_EQ(history.record({{}, {}, list, true, 0}, utc(1, 1, 0, 0)),
                  QStringList({u"乙"_s, u"甲"_s, u"丁"_s}));
        EXPECT_EQ(history.record({{}, {}, list, true, 12}, utc(1, 1, 0, 0)), QStringList());
        EXPECT_EQ(history.unwritten({u"甲"_s, u"乙"_s, u"丙"_s, u"丁"_s}), QStringList {u"丙"_s});
        const QStringList second {u"戊"_s, u"甲"_s, u"丙"_s, u"戊"_s};
        EXPECT_EQ(history.record({a, second, second, false, 12}, utc(1, 2, 0, 0)), second);
    }
    EXPECT_EQ(
        csv(dir.path()),
        Header
            + u"戊,2026-03-01 10:00:00,2026-03-01 10:00:00,1,https://a.example/\r\n"
              u"丁,2026-03-01 09:00:00,2026-03-01 09:00:00,0,\r\n"
              u"甲,2026-03-01 08:00:00,2026-03-01 10:00:00,2,https://a.example/\r\n"
              u"乙,2026-03-01 08:00:00,2026-03-01 08:00:00,1,https://a.example/\r\n"
              u"丙,2026-03-01 08:00:00,2026-03-01 10:00:00,2,https://a.example/\r\n"_s.toUtf8());
    KeywordHistory reopened(dir.path(), false);
    const QStringList all {u"甲"_s, u"乙"_s, u"丙"_s, u"丁"_s, u"戊"_s, u"己"_s};
    EXPECT_EQ(reopened.record({{}, {}, all, true, 40}, utc(2, 0, 0, 0)), QStringList {u"己"_s});
}

// The history exists only once asked for; the CSV of a folder without one is the header
// alone. A file of that name that is no history, or a directory in its place: opening and
// reading fail naming the file, and nothing is created or changed.
TEST(History, IsCreatedOnlyWhenAskedAndRefusesWhatIsNoHistory)
{
    QTemporaryDir dir, text, directory;
    EXPECT_THROW(KeywordHistory(dir.path(), false), FileError);
    EXPECT_EQ(csv(dir.path()), Header);
    EXPECT_EQ(dirEntries(dir.path()), QStringList());
    KeywordHistory(dir.path(), true);
    EXPECT_EQ(csv(dir.path()), Header);

    const QString name = KeywordHistory::fileName();
    writeBytes(text.filePath(name), "热搜\r\n");
    QDir(directory.path()).mkdir(name);
    for (const QTemporaryDir *folder : {&text, &directory}) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            try {
                attempt == 2 ? void(csv(folder->path()))
                             : void(KeywordHistory(folder->path(), attempt == 0));
                ADD_FAILURE() << "opened, attempt " << attempt;
            } catch (const FileError &error) {
                EXPECT_EQ(error.path(), folder->filePath(name));
            }
        }
        EXPECT_EQ(dirEntries(folder->path()), QStringList {name});
    }
    EXPECT_EQ(readBytes(text.filePath(name)), "热搜\r\n");
}

// While a crawl holds a write transaction larger than its cache (which in a rollback
// journal would lock every reader out), the CSV reads the last commit.
TEST(History, ReadsTheLastCommitWhileACrawlWrites)
{
    QTemporaryDir dir;
    KeywordHistory history(dir.path(), true);
    history.record({u"https://a.example/"_s, {u"已提交"_s}}, utc(1, 0, 0, 0));
    const QByteArray committed = csv(dir.path());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"crawl"_s);
        db.setDatabaseName(history.path());
        ASSERT_TRUE(db.open());
        QSqlQuery writer(db);
        ASSERT_TRUE(writer.exec(u"PRAGMA cache_size = 10"_s));
        ASSERT_TRUE(writer.exec(u"BEGIN IMMEDIATE"_s));
        ASSERT_TRUE(writer.exec(u"UPDATE keywords SET pages = 99"_s));
        ASSERT_TRUE(writer.exec(u"CREATE TABLE filler (data)"_s));
        ASSERT_TRUE(
            writer.exec(u"WITH RECURSIVE n (i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n"
                        u" WHERE i < 2000) INSERT INTO filler SELECT randomblob(1000) FROM n"_s));
        EXPECT_EQ(csv(dir.path()), committed);
        EXPECT_EQ(history.unwritten({u"已提交"_s}), QStringList({u"已提交"_s}));
        ASSERT_TRUE(writer.exec(u"ROLLBACK"_s));
    }
    QSqlDatabase::removeDatabase(u"crawl"_s);
}

// A writer killed with SIGKILL wherever it stands, ten times over: the database checks
// sound, and every page it began is there whole or not at all.
TEST(History, AKilledCrawlLeavesWholePages)
{
    constexpr int KeywordsPerPage = 50;
    QTemporaryDir dir;
    KeywordHistory(dir.path(), true);
    for (int round = 0; round < 10; ++round) {
        const pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            KeywordHistory history(dir.path(), false);
            for (int page = round * 100000;; ++page) {
                QStringList keywords {u"每页都有"_s};
                for (int i = 0; i < KeywordsPerPage; ++i)
                    keywords.append(u"%1页%2"_s.arg(page).arg(i));
                // Each page's keywords written too, the file growing page by page.
                history.record(
                    {u"https://a.example/%1"_s.arg(page), keywords, keywords, true, page},
                    QDateTime::currentDateTimeUtc());
            }
        }
        ::usleep(useconds_t(100'000 + round * 7'919));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
        db.setDatabaseName(dir.filePath(KeywordHistory::fileName()));
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(u"PRAGMA quick_check"_s) && query.next());
        EXPECT_EQ(query.value(0).toString(), u"ok"_s);
        // Keywords per page, counted from their names; the one on every page counts them all.
        ASSERT_TRUE(
            query.exec(u"SELECT substr(keyword, 1, instr(keyword, '页') - 1) AS page,"
                       u" count(*) FROM keywords WHERE keyword <> '每页都有' GROUP BY page"_s));
        int pages = 0;
        for (; query.next(); ++pages)
            EXPECT_EQ(query.value(1).toInt(), KeywordsPerPage) << "page " << query.value(0).toInt();
        EXPECT_GE(pages, 10);
        ASSERT_TRUE(query.exec(u"SELECT pages FROM keywords WHERE keyword = '每页都有'"_s)
                    && query.next());
        EXPECT_EQ(query.value(0).toInt(), pages);
        // A write begun is one the next change can settle.
        ASSERT_TRUE(query.exec(u"SELECT (SELECT count(*) FROM keywords WHERE written = 2) > 0,"
                               u" (SELECT count(*) FROM pending_write)"_s)
                    && query.next());
        EXPECT_EQ(query.value(0).toInt(), query.value(1).toInt());
    }
    QSqlDatabase::removeDatabase(u"check"_s);
}
