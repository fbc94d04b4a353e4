#include "fileerror.h"
#include "filesizelimit.h"
#include "testfiles.h"
#include "textlinefile.h"
#include "urllistfile.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;
using namespace std::string_view_literals;

namespace {

QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

// A fresh directory per test, and the list in it.
class UrlListTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    UrlListFile list(const char *encoding = "UTF-8") const
    {
        return UrlListFile(m_dir.path(), TextEncoding(QByteArray(encoding)));
    }
    QString listPath() const { return m_dir.filePath(UrlListFile::fileName()); }
    void writeList(const QByteArray &content) const { writeBytes(listPath(), content); }
    QByteArray listContent() const { return readBytes(listPath()); }

    QTemporaryDir m_dir;
};

// --- Counting ------------------------------------------------------------------------------

struct CountCase
{
    const char *name;
    std::string_view content;
    qint64 lines;
};

void PrintTo(const CountCase &c, std::ostream *os)
{
    *os << c.name;
}

class CountUrlList : public UrlListTest, public ::testing::WithParamInterface<CountCase>
{
};

TEST_P(CountUrlList, CountsEveryLineEmptyOnesIncluded)
{
    writeList(bytes(GetParam().content));
    EXPECT_EQ(list().CountUrlList(), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CountUrlList,
    ::testing::Values(CountCase {"ZeroLength", ""sv, 0}, CountCase {"OnlyCrLf", "\r\n"sv, 1},
                      CountCase {"OneLineNoTerminator", "A"sv, 1},
                      CountCase {"OneLine", "A\r\n"sv, 1}, CountCase {"TwoLines", "A\r\nB"sv, 2},
                      CountCase {"EmptyLineInside", "A\r\n\r\nB\r\n"sv, 3},
                      CountCase {"EmptyLineLast", "A\r\nB\r\n\r\n"sv, 3},
                      CountCase {"CrAlone", "A\rB\r"sv, 2}, CountCase {"LoneLf", "A\nB"sv, 1}),
    [](const ::testing::TestParamInfo<CountCase> &info) { return std::string(info.param.name); });

TEST_F(UrlListTest, CountHasNoSixteenBitLimit)
{
    writeList(addressLines(40000));
    EXPECT_EQ(list().CountUrlList(), 40000);
    writeList(addressLines(100000) + QByteArrayLiteral("\r\nlast"));
    EXPECT_EQ(list().CountUrlList(), 100002);
}

// --- Rotation ------------------------------------------------------------------------------

struct RotateCase
{
    const char *name;
    std::string_view before;
    std::string_view result;
    std::string_view after;
};

void PrintTo(const RotateCase &c, std::ostream *os)
{
    *os << c.name;
}

class RotateUrlList : public UrlListTest, public ::testing::WithParamInterface<RotateCase>
{
};

TEST_P(RotateUrlList, TakesTheFirstAddressAndMovesItToTheEnd)
{
    writeList(bytes(GetParam().before));
    EXPECT_EQ(list().RotateUrlList(), QString::fromUtf8(bytes(GetParam().result)));
    EXPECT_EQ(listContent(), bytes(GetParam().after));
}

INSTANTIATE_TEST_SUITE_P(
    Table, RotateUrlList,
    ::testing::Values(
        RotateCase {"FirstOfThree", "A\r\nB\r\nC"sv, "A"sv, "\r\nB\r\nC\r\nA\r\n"sv},
        RotateCase {"AfterOneBlank", "\r\nB\r\nC\r\nA\r\n"sv, "B"sv, "\r\n\r\nC\r\nA\r\nB\r\n"sv},
        RotateCase {"AfterTwoBlanks", "\r\n\r\nC\r\nA\r\nB\r\n"sv, "C"sv,
                    "\r\n\r\n\r\nA\r\nB\r\nC\r\n"sv},
        RotateCase {"BlankLinesAfterStay", "A\r\n\r\nB\r\n"sv, "A"sv, "\r\n\r\nB\r\nA\r\n"sv},
        RotateCase {"ZeroLength", ""sv, ""sv, "\r\n"sv},
        RotateCase {"OnlyBlankLines", "\r\n\r\n"sv, ""sv, "\r\n\r\n\r\n"sv},
        RotateCase {"BlankLinesEndingInCrAlone", "\r\r"sv, ""sv, "\r\n\r\n\r\n"sv},
        RotateCase {"SpacesAreAnAddress", "   \r\nB\r\n"sv, "   "sv, "\r\nB\r\n   \r\n"sv},
        RotateCase {"SingleLineNoTerminator", "A"sv, "A"sv, "\r\nA\r\n"sv},
        RotateCase {"CrAloneBecomesCrLf", "A\rB\rC"sv, "A"sv, "\r\nB\r\nC\r\nA\r\n"sv},
        RotateCase {"CrAloneInsideTheRest", "A\r\nB\rC\r\n"sv, "A"sv, "\r\nB\r\nC\r\nA\r\n"sv},
        RotateCase {"RestEndsInCrAlone", "A\r\nB\r"sv, "A"sv, "\r\nB\r\nA\r\n"sv},
        RotateCase {"LoneLfStaysInTheLine", "A\r\nB\nC"sv, "A"sv, "\r\nB\nC\r\nA\r\n"sv},
        RotateCase {"RestEndsInLoneLf", "A\r\nB\n"sv, "A"sv, "\r\nB\n\r\nA\r\n"sv},
        RotateCase {"Utf8Address", "https://例子.cn/页\r\nB"sv, "https://例子.cn/页"sv,
                    "\r\nB\r\nhttps://例子.cn/页\r\n"sv}),
    [](const ::testing::TestParamInfo<RotateCase> &info) { return std::string(info.param.name); });

TEST_F(UrlListTest, FourRotationsOfThreeAddressesComeBackToTheFirst)
{
    writeList(QByteArrayLiteral("A\r\nB\r\nC\r\n"));
    const UrlListFile urls = list();
    QStringList taken;
    for (int i = 0; i < 4; ++i)
        taken << urls.RotateUrlList();
    EXPECT_EQ(taken, QStringList({u"A"_s, u"B"_s, u"C"_s, u"A"_s}));
    EXPECT_EQ(listContent(), QByteArrayLiteral("\r\n\r\n\r\n\r\nB\r\nC\r\nA\r\n"));
}

// --- Compaction ----------------------------------------------------------------------------

struct CompactCase
{
    const char *name;
    std::string_view before;
    std::string_view after;
};

void PrintTo(const CompactCase &c, std::ostream *os)
{
    *os << c.name;
}

class CompactUrlList : public UrlListTest, public ::testing::WithParamInterface<CompactCase>
{
};

TEST_P(CompactUrlList, DropsTheEmptyLines)
{
    writeList(bytes(GetParam().before));
    list().CompactUrlList();
    EXPECT_EQ(listContent(), bytes(GetParam().after));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompactUrlList,
    ::testing::Values(CompactCase {"NoTerminatorAtTheEnd", "A\r\nB\r\nC"sv, "A\r\nB\r\nC"sv},
                      CompactCase {"LastLineLosesItsCrLf", "A\r\nB\r\nC\r\n"sv, "A\r\nB\r\nC"sv},
                      CompactCase {"LeadingBlanks", "\r\n\r\nC\r\nA\r\nB\r\n"sv, "C\r\nA\r\nB"sv},
                      CompactCase {"BlankInside", "A\r\n\r\nB"sv, "A\r\nB"sv},
                      CompactCase {"BlankLastKeepsTheCrLfBeforeIt", "A\r\nB\r\n\r\n"sv,
                                   "A\r\nB\r\n"sv},
                      CompactCase {"OnlyBlanks", "\r\n\r\n"sv, ""sv},
                      CompactCase {"ZeroLength", ""sv, ""sv},
                      CompactCase {"SpacesStay", "   \r\n\r\nB"sv, "   \r\nB"sv},
                      CompactCase {"CrAloneBecomesCrLf", "A\rB\r\rC"sv, "A\r\nB\r\nC"sv},
                      CompactCase {"LoneLfStays", "A\n\r\n\r\nB"sv, "A\n\r\nB"sv}),
    [](const ::testing::TestParamInfo<CompactCase> &info) { return std::string(info.param.name); });

TEST_F(UrlListTest, SecondCompactionDropsTheLastCrLf)
{
    writeList(QByteArrayLiteral("A\r\nB\r\n\r\n"));
    list().CompactUrlList();
    EXPECT_EQ(listContent(), QByteArrayLiteral("A\r\nB\r\n"));
    list().CompactUrlList();
    EXPECT_EQ(listContent(), QByteArrayLiteral("A\r\nB"));
}

// --- Against the rules stated line by line, on random contents ------------------------------

// The operations written the plain way, over split lines: what the fast code must match.
std::pair<QString, QByteArray> referenceRotate(const QByteArray &content)
{
    QList<QByteArray> lines = TextLines::split(content);
    const auto first = std::find_if(lines.begin(), lines.end(),
                                    [](const QByteArray &line) { return !line.isEmpty(); });
    if (first == lines.end()) {
        lines.append(QByteArray());
        return {QString(), TextLines::join(lines)};
    }
    const QByteArray taken = *first;
    first->clear();
    lines.append(taken);
    return {QString::fromUtf8(taken), TextLines::join(lines)};
}

QByteArray referenceCompact(const QByteArray &content)
{
    const QList<QByteArray> lines = TextLines::split(content);
    QByteArray out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        out += lines[i];
        if (i + 1 < lines.size())
            out += "\r\n";
    }
    return out;
}

QByteArray randomContent(QRandomGenerator &random)
{
    // Mostly CR LF ends, some CRs and LFs alone, runs of empty lines, invalid UTF-8; long
    // enough to cross the 64-byte blocks of the fast scans.
    static const QByteArray pieces[] = {
        "\r\n", "\r\n", "\r\n", "\r", "\n", "a", "bc", "https://x.org/p", " ", "\xff\xfe", "\x80"};
    QByteArray content;
    const int count = random.bounded(80);
    for (int i = 0; i < count; ++i)
        content += pieces[random.bounded(int(std::size(pieces)))];
    return content;
}

// Counts, rotates and compacts `content` in a fresh directory and compares with the reference.
void checkAgainstReference(const QByteArray &content)
{
    SCOPED_TRACE(::testing::PrintToString(content));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const UrlListFile list(dir.path(), TextEncoding(QByteArrayLiteral("UTF-8")));

    writeBytes(list.path(), content);
    ASSERT_EQ(list.CountUrlList(), TextLines::split(content).size());

    const auto [taken, rotated] = referenceRotate(content);
    ASSERT_EQ(list.RotateUrlList(), taken);
    ASSERT_TRUE(readBytes(list.path()) == rotated)
        << ::testing::PrintToString(readBytes(list.path()));

    writeBytes(list.path(), content);
    list.CompactUrlList();
    const QByteArray compacted = referenceCompact(content);
    ASSERT_TRUE(readBytes(list.path()) == compacted)
        << ::testing::PrintToString(readBytes(list.path()));
}

TEST(UrlListRandom, ShortListsFollowTheLineRules)
{
    QRandomGenerator random(7031);
    for (int round = 0; round < 300 && !::testing::Test::HasFatalFailure(); ++round)
        checkAgainstReference(randomContent(random));
}

// The list is read in pieces: a line, a CR LF or a run of empty lines split between two pieces
// must come out as if read whole.
TEST(UrlListPieces, SplitsAtThePieceBoundaryChangeNothing)
{
    const qsizetype b = UrlListFile::chunkSize;
    const QByteArray blanks = QByteArrayLiteral("\r\n").repeated((b - 1) / 2);
    const QByteArray cases[] = {
        QByteArray(b - 1, 'x') + "\r\n", // LF alone in the last piece
        QByteArray(b - 1, 'x') + "\r\nA", // the CR LF of a line split
        QByteArray(b - 1, 'x') + "\rB", // a lone CR last in a piece
        QByteArray(b - 2, 'x') + "\r\n\r\nA", // a piece ending right after CR LF
        QByteArray(b, 'x') + "\r\nA\r\n", // CR LF first in a piece
        "\r" + blanks + "\r\nA\r\n", // empty lines, one split, then an address
        "\r" + blanks + "\r\n", // empty lines only, one split
        "\r" + blanks + "\r\rA", // a lone CR at the boundary, among blanks
        QByteArray(b - 1, 'x') + "\r\n\r\n", // a split line followed by an empty one
        QByteArray(3 * b + 5, 'y'), // one line over several pieces
    };
    for (const QByteArray &content : cases) {
        checkAgainstReference(content);
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

TEST(UrlListPieces, RandomListsAroundThePieceBoundaryFollowTheLineRules)
{
    QRandomGenerator random(4099);
    const qsizetype boundary = UrlListFile::chunkSize;
    for (int round = 0; round < 150 && !::testing::Test::HasFatalFailure(); ++round) {
        // A filler of addresses, of empty lines or of one long line, ending near the boundary
        // on either side, then random lines.
        const qsizetype fillerSize = boundary - 100 + random.bounded(120);
        QByteArray filler = random.bounded(2) ? QByteArrayLiteral("\r") : QByteArray();
        switch (round % 3) {
        case 0:
            while (filler.size() < fillerSize)
                filler += addressLine(filler.size()) + "\r\n";
            break;
        case 1:
            filler += QByteArrayLiteral("\r\n").repeated(fillerSize / 2);
            break;
        case 2:
            filler += QByteArray(fillerSize, 'x');
            break;
        }
        filler.truncate(fillerSize);
        checkAgainstReference(filler + randomContent(random));
    }
}

// --- Bytes and encodings -------------------------------------------------------------------

TEST_F(UrlListTest, GbkLinesKeepTheirBytesThroughRotationAndCompaction)
{
    const TextEncoding gbk(QByteArrayLiteral("GBK"));
    const QStringList addresses {u"http://例子.中国/中文网址"_s,
                                 u"https://示例.cn/搜索?词=关键字"_s, u"http://网站.com/页面"_s};
    QList<QByteArray> encoded;
    for (const QString &address : addresses)
        encoded.append(gbk.encode(address));
    ASSERT_NE(encoded[0], addresses[0].toUtf8());
    writeList(TextLines::join(encoded));

    const UrlListFile urls = list("GBK");
    EXPECT_EQ(urls.RotateUrlList(), addresses[0]);
    EXPECT_EQ(listContent(),
              "\r\n" + encoded[1] + "\r\n" + encoded[2] + "\r\n" + encoded[0] + "\r\n");
    EXPECT_EQ(urls.RotateUrlList(), addresses[1]);

    urls.CompactUrlList();
    EXPECT_EQ(listContent(), encoded[2] + "\r\n" + encoded[0] + "\r\n" + encoded[1]);
}

TEST_F(UrlListTest, BytesInvalidInTheEncodingSurviveRotationAndCompaction)
{
    // Invalid in both: a GBK lead byte before a space, a lone 0xFF, a truncated UTF-8 sequence.
    const QByteArray invalid("http://a.cn/\x81 \xff\xe4\xb8", 18);
    for (const char *encoding : {"GBK", "UTF-8"}) {
        SCOPED_TRACE(encoding);
        writeList(invalid + "\r\nB\r\n\r\n" + invalid);
        const UrlListFile urls = list(encoding);

        EXPECT_FALSE(urls.RotateUrlList().isEmpty());
        EXPECT_EQ(listContent(), "\r\nB\r\n\r\n" + invalid + "\r\n" + invalid + "\r\n");
        urls.CompactUrlList();
        EXPECT_EQ(listContent(), "B\r\n" + invalid + "\r\n" + invalid);
    }
}

// --- Large lists ---------------------------------------------------------------------------

TEST_F(UrlListTest, HundredThousandLinesRotateAndCompactWithoutLoss)
{
    constexpr qsizetype count = 100000;
    QByteArray content;
    QByteArray compacted;
    for (qsizetype i = 0; i < count; ++i) {
        // Every seventh line empty, as a list half way through a crawl has them.
        const QByteArray line = i % 7 == 3 ? QByteArray() : addressLine(i);
        content += line + "\r\n";
        if (!line.isEmpty())
            compacted += line + (i + 1 < count ? "\r\n" : "");
    }
    writeList(content);
    const UrlListFile urls = list();
    EXPECT_EQ(urls.CountUrlList(), count);

    EXPECT_EQ(urls.RotateUrlList(), QString::fromLatin1(addressLine(0)));
    const QByteArray rotated
        = "\r\n" + content.sliced(addressLine(0).size() + 2) + addressLine(0) + "\r\n";
    EXPECT_TRUE(listContent() == rotated);
    EXPECT_EQ(urls.CountUrlList(), count + 1);

    writeList(content);
    urls.CompactUrlList();
    const QByteArray result = listContent();
    EXPECT_EQ(TextLines::count(result), count - count / 7 - (count % 7 > 3 ? 1 : 0));
    EXPECT_TRUE(result == compacted);
}

TEST_F(UrlListTest, RotationSkipsMoreThanSixtyFiveThousandEmptyLines)
{
    constexpr qsizetype blanks = 70000;
    writeList(QByteArrayLiteral("\r\n").repeated(blanks) + "A\r\nB");
    EXPECT_EQ(list().RotateUrlList(), u"A"_s);
    EXPECT_TRUE(listContent() == QByteArrayLiteral("\r\n").repeated(blanks + 1) + "B\r\nA\r\n");
}

// --- Creation and existence ----------------------------------------------------------------

TEST_F(UrlListTest, EnsureCreatesAZeroLengthFile)
{
    const UrlListFile urls = list();
    EXPECT_FALSE(urls.exists());
    urls.EnsureUrlList();
    EXPECT_TRUE(urls.exists());
    EXPECT_EQ(QFileInfo(listPath()).size(), 0);
    EXPECT_EQ(urls.CountUrlList(), 0);
}

TEST_F(UrlListTest, EnsureLeavesAnExistingListUntouched)
{
    writeList(QByteArrayLiteral("A\r\nB"));
    const QDateTime past = QDateTime::currentDateTimeUtc().addDays(-3);
    {
        QFile file(listPath());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(past, QFileDevice::FileModificationTime));
        ASSERT_TRUE(file.setFileTime(past, QFileDevice::FileAccessTime));
    }
    list().EnsureUrlList();
    const QFileInfo info(listPath());
    EXPECT_EQ(info.lastModified().toSecsSinceEpoch(), past.toSecsSinceEpoch());
    EXPECT_EQ(info.lastRead().toSecsSinceEpoch(), past.toSecsSinceEpoch());
    EXPECT_EQ(listContent(), QByteArrayLiteral("A\r\nB"));
}

TEST_F(UrlListTest, DirectoryOfTheNameIsNoList)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(UrlListFile::fileName()));
    const UrlListFile urls = list();
    EXPECT_FALSE(urls.exists());
    try {
        urls.EnsureUrlList();
        FAIL() << "creating over a directory succeeded";
    } catch (const FileError &error) {
        EXPECT_EQ(error.action(), u"创建网址列表失败"_s);
        EXPECT_EQ(error.path(), urls.path());
        EXPECT_FALSE(error.reason().isEmpty());
    }
    EXPECT_THROW(urls.CountUrlList(), FileError);
    EXPECT_TRUE(QFileInfo(listPath()).isDir());
}

TEST_F(UrlListTest, EnsureInAMissingDirectoryFails)
{
    const UrlListFile urls(m_dir.filePath(u"missing/deeper"_s),
                           TextEncoding(QByteArrayLiteral("UTF-8")));
    EXPECT_THROW(urls.EnsureUrlList(), FileError);
    EXPECT_EQ(dirEntries(m_dir.path()), QStringList());
}

TEST_F(UrlListTest, MissingListFailsAtTheReadAndIsNotCreated)
{
    const UrlListFile urls = list();
    for (const auto &operation : std::initializer_list<std::function<void()>> {
             [&] { urls.CountUrlList(); }, [&] { urls.RotateUrlList(); },
             [&] { urls.CompactUrlList(); }}) {
        try {
            operation();
            ADD_FAILURE() << "an operation on a missing list succeeded";
        } catch (const FileError &error) {
            EXPECT_EQ(error.action(), u"读取网址列表失败"_s);
            EXPECT_EQ(error.path(), urls.path());
            EXPECT_FALSE(error.reason().isEmpty());
        }
        EXPECT_EQ(dirEntries(m_dir.path()), QStringList());
    }
}

// --- Failed rewrites -----------------------------------------------------------------------

TEST_F(UrlListTest, FailedRewriteLeavesTheListWholeAndNoTemporaryFile)
{
    // Blank lines so that compaction has something to rewrite too.
    const QByteArray content = addressLines(20000) + "\r\n\r\n" + addressLines(10);
    writeList(content);
    const UrlListFile urls = list();
    for (const auto &[name, rewrite] :
         std::initializer_list<std::pair<const char *, std::function<void()>>> {
             {"rotate", [&] { urls.RotateUrlList(); }},
             {"compact", [&] { urls.CompactUrlList(); }}}) {
        SCOPED_TRACE(name);
        try {
            const FileSizeLimit limit(64 * 1024);
            ASSERT_TRUE(limit.isActive());
            rewrite();
            ADD_FAILURE() << "a rewrite past the file size limit succeeded";
        } catch (const FileError &error) {
            EXPECT_EQ(error.action(), u"改写网址列表失败"_s);
            EXPECT_EQ(error.path(), urls.path());
            EXPECT_FALSE(error.reason().isEmpty());
        }
        EXPECT_TRUE(listContent() == content);
        EXPECT_EQ(dirEntries(m_dir.path()), QStringList(UrlListFile::fileName()));
    }
}

TEST_F(UrlListTest, RewriteKeepsThePermissions)
{
    writeList(QByteArrayLiteral("A\r\nB"));
    const QFileDevice::Permissions permissions
        = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(listPath(), permissions));
    list().RotateUrlList();
    struct stat after = {};
    ASSERT_EQ(::stat(QFile::encodeName(listPath()).constData(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
}

} // namespace
