#include "core/fileerror.h"
#include "support/filesizelimit.h"
#include "support/testfiles.h"
#include "urlqueue/urllistfile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <optional>
#include <tuple>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

// The list in a fresh temporary directory, holding `content` unless that is nullopt.
struct ListDir
{
    explicit ListDir(std::optional<QByteArray> content, const char *encoding = "UTF-8")
        : list(dir.path(), TextEncoding(encoding))
    {
        EXPECT_TRUE(dir.isValid());
        if (content)
            writeBytes(list.path(), *content);
    }
    QByteArray bytes() const { return readBytes(list.path()); }

    QTemporaryDir dir;
    UrlListFile list;
};

using Operation = std::function<void(const UrlListFile &)>;

TEST(UrlList, CountsEveryLineEmptyOnesIncluded)
{
    const std::pair<QByteArray, qint64> rows[]
        = {{"", 0},       {"\r\n", 1},           {"A", 1},
           {"A\r\n", 1},  {"A\r\nB", 2},         {"A\r\n\r\nB\r\n", 3},
           {"A\rB\r", 2}, {"A\r\nB\r\n\r\n", 3}, {"A\nB", 1}};
    for (const auto &[content, lines] : rows) {
        SCOPED_TRACE(::testing::PrintToString(content));
        EXPECT_EQ(ListDir(content).list.CountUrlList(), lines);
    }
}

TEST(UrlList, RotationMovesTheFirstAddressToTheEnd)
{
    // The list before a rotation, after it, and the address taken.
    const std::tuple<QByteArray, QByteArray, QByteArray> rows[]
        = {{"A\r\nB\r\nC", "\r\nB\r\nC\r\nA\r\n", "A"},
           {"\r\nB\r\nC\r\nA\r\n", "\r\n\r\nC\r\nA\r\nB\r\n", "B"},
           {"\r\n\r\nC\r\nA\r\nB\r\n", "\r\n\r\n\r\nA\r\nB\r\nC\r\n", "C"},
           {"A\r\n\r\nB\r\n", "\r\n\r\nB\r\nA\r\n", "A"},
           {"", "\r\n", ""},
           {"\r\n\r\n", "\r\n\r\n\r\n", ""},
           {"\r\r", "\r\n\r\n\r\n", ""},
           {"   \r\nB\r\n", "\r\nB\r\n   \r\n", "   "},
           {"A", "\r\nA\r\n", "A"},
           {"A\rB\rC", "\r\nB\r\nC\r\nA\r\n", "A"},
           {"A\r\nB\rC\r\n", "\r\nB\r\nC\r\nA\r\n", "A"},
           {"A\r\nB\r", "\r\nB\r\nA\r\n", "A"},
           {"A\r\nB\nC", "\r\nB\nC\r\nA\r\n", "A"},
           {"A\r\nB\n", "\r\nB\n\r\nA\r\n", "A"},
           {"https://例子.cn/页\r\nB", "\r\nB\r\nhttps://例子.cn/页\r\n", "https://例子.cn/页"}};
    for (const auto &[before, after, result] : rows) {
        SCOPED_TRACE(::testing::PrintToString(before));
        const ListDir d(before);
        EXPECT_EQ(d.list.RotateUrlList(), QString::fromUtf8(result));
        EXPECT_EQ(d.bytes(), after);
    }
}

TEST(UrlList, CompactionDropsTheEmptyLines)
{
    const std::pair<QByteArray, QByteArray> rows[] = {
        {"A\r\nB\r\nC", "A\r\nB\r\nC"},
        {"A\r\nB\r\nC\r\n", "A\r\nB\r\nC"},
        {"\r\n\r\nC\r\nA\r\nB\r\n", "C\r\nA\r\nB"},
        {"A\r\n\r\nB", "A\r\nB"},
        // A final empty line leaves the CR LF before it; a second compaction drops that.
        {"A\r\nB\r\n\r\n", "A\r\nB\r\n"},
        {"A\r\nB\r\n", "A\r\nB"},
        {"\r\n\r\n", ""},
        {"", ""},
        {"   \r\n\r\nB", "   \r\nB"},
        {"A\rB\r\rC", "A\r\nB\r\nC"},
        {"A\n\r\n\r\nB", "A\n\r\nB"},
    };
    for (const auto &[before, after] : rows) {
        SCOPED_TRACE(::testing::PrintToString(before));
        const ListDir d(before);
        d.list.CompactUrlList();
        EXPECT_EQ(d.bytes(), after);
    }
}

// The lines of `content` by the rules, read the plain way: what the chunked code must match.
QByteArrayList plainLines(QByteArray content)
{
    QByteArrayList lines = content.replace("\r\n", "\r").split('\r');
    if (content.isEmpty() || content.endsWith('\r'))
        lines.removeLast();
    return lines;
}

void checkAgainstPlainLines(const QByteArray &content)
{
    SCOPED_TRACE(::testing::PrintToString(content));
    const ListDir d(content);
    QByteArrayList lines = plainLines(content);
    EXPECT_EQ(d.list.CountUrlList(), lines.size());

    // Compaction keeps the CR LF after the last address when an empty line followed it.
    QByteArrayList kept = lines;
    kept.removeAll(QByteArray());
    const QByteArray compacted
        = kept.join("\r\n") + (!kept.isEmpty() && lines.last().isEmpty() ? "\r\n" : "");
    const auto first = std::find_if(lines.begin(), lines.end(),
                                    [](const QByteArray &line) { return !line.isEmpty(); });
    const QByteArray taken = first == lines.end() ? QByteArray() : std::exchange(*first, {});
    EXPECT_EQ(d.list.RotateUrlList(), QString::fromUtf8(taken));
    EXPECT_EQ(d.bytes(), (lines << taken).join("\r\n") + "\r\n");

    writeBytes(d.list.path(), content);
    d.list.CompactUrlList();
    EXPECT_EQ(d.bytes(), compacted);
}

TEST(UrlList, ChunkAndBlockBoundariesChangeNothing)
{
    const QByteArray pieces[]
        = {"\r\n", "\r\n", "\r", "\n", "a", "https://x.org/p", " ", "\xff\x80"};
    QRandomGenerator random(4099);
    for (int round = 0; round < 200 && !HasFailure(); ++round) {
        // Random lines after addresses, empty lines, one long line or nothing (maybe after a
        // CR), such that the first, second or third chunk boundary falls near the start of the
        // random lines or, every other round, near the end of the list.
        QByteArray tail;
        for (int i = random.bounded(40); i > 0; --i)
            tail += pieces[random.bounded(int(std::size(pieces)))];
        const qsizetype boundary = (1 + round % 3) * UrlListFile::chunkSize;
        const qsizetype size = round % 2 ? boundary - tail.size() - 2 + random.bounded(5)
                                         : boundary - 24 + random.bounded(48);
        const QByteArray fillers[] = {"", addressLine(round) + "\r\n", "\r\n", "x"};
        const QByteArray &filler = fillers[random.bounded(4)];
        QByteArray content = random.bounded(2) ? "\r" : "";
        while (!filler.isEmpty() && content.size() < size)
            content += filler;
        content.truncate(size);
        checkAgainstPlainLines(content + tail);
    }
    // A lone CR at each offset of the 64-byte blocks the fast scans go in.
    for (int at = 0; at < 130 && !HasFailure(); ++at)
        checkAgainstPlainLines("A\r\n" + QByteArray(at, 'x') + "\rB" + QByteArray(100, 'y'));
}

TEST(UrlList, EncodedAndInvalidBytesSurviveRotationAndCompaction)
{
    ASSERT_EQ(TextEncoding("GBK").encode(u"中文"_s), QByteArray::fromHex("d6d0cec4"));
    const QString address = u"http://例子.中国/搜索?词=关键字"_s;
    // Invalid in GBK and UTF-8: a GBK lead byte before a space, a lone 0xFF, a cut UTF-8 one.
    const QByteArray bad("http://a.cn/\x81 \xff\xe4\xb8", 18);
    // An unknown charset reads and writes UTF-8, losing nothing either.
    for (const char *encoding : {"GBK", "UTF-8", "no-such-charset"}) {
        SCOPED_TRACE(encoding);
        const QByteArray good = TextEncoding(encoding).encode(address);
        const ListDir d(good + "\r\n" + bad + "\r\n\r\n" + bad, encoding);
        EXPECT_EQ(d.list.RotateUrlList(), address);
        EXPECT_FALSE(d.list.RotateUrlList().isEmpty());
        EXPECT_EQ(d.bytes(), "\r\n\r\n\r\n" + bad + "\r\n" + good + "\r\n" + bad + "\r\n");
        d.list.CompactUrlList();
        EXPECT_EQ(d.bytes(), bad + "\r\n" + good + "\r\n" + bad);
    }
}

TEST(UrlList, LargeListsLoseNoLine)
{
    EXPECT_EQ(ListDir(addressLines(40000)).list.CountUrlList(), 40000);
    // 100,000 lines, every seventh empty as in a list half way through a crawl.
    QByteArray content;
    for (qsizetype i = 0; i < 100000; ++i)
        content += (i % 7 == 3 ? QByteArray() : addressLine(i)) + "\r\n";
    checkAgainstPlainLines(content);
}

TEST(UrlList, EnsureCreatesAMissingListOnly)
{
    const ListDir missing(std::nullopt);
    EXPECT_FALSE(missing.list.exists());
    missing.list.EnsureUrlList();
    EXPECT_TRUE(missing.list.exists());
    EXPECT_EQ(missing.bytes(), QByteArray());

    const ListDir existing("A\r\nB");
    existing.list.EnsureUrlList();
    EXPECT_EQ(existing.bytes(), "A\r\nB");

    // A directory of that name is no list, and is left alone.
    const ListDir directory(std::nullopt);
    ASSERT_TRUE(QDir(directory.dir.path()).mkdir(UrlListFile::fileName()));
    EXPECT_FALSE(directory.list.exists());
    EXPECT_THROW(directory.list.EnsureUrlList(), FileError);
    EXPECT_TRUE(QFileInfo(directory.list.path()).isDir());
}

TEST(UrlList, AMissingListFailsAndIsNotCreated)
{
    for (const Operation &operation :
         {Operation(&UrlListFile::CountUrlList), Operation(&UrlListFile::RotateUrlList),
          Operation(&UrlListFile::CompactUrlList)}) {
        const ListDir d(std::nullopt);
        EXPECT_THROW(operation(d.list), FileError);
        EXPECT_EQ(dirEntries(d.dir.path()), QStringList());
    }
}

TEST(UrlList, AFailedRewriteLeavesTheListWholeAndNoTemporaryFile)
{
    // Empty lines, so that compaction has something to rewrite too.
    const QByteArray content = addressLines(20000) + "\r\n\r\n" + addressLines(10);
    for (const Operation &rewrite :
         {Operation(&UrlListFile::RotateUrlList), Operation(&UrlListFile::CompactUrlList)}) {
        const ListDir d(content);
        {
            const FileSizeLimit limit(64 * 1024);
            ASSERT_TRUE(limit.isActive());
            EXPECT_THROW(rewrite(d.list), FileError);
        }
        EXPECT_EQ(d.bytes(), content);
        EXPECT_EQ(dirEntries(d.dir.path()), QStringList(UrlListFile::fileName()));
    }
}

} // namespace
