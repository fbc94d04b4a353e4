#include "core/fileerror.h"
#include "support/filesizelimit.h"
#include "support/testfiles.h"
#include "urlqueue/textlinefile.h"
#include "urlqueue/urllistfile.h"

#include <QDir>

#include <functional>

using namespace Qt::StringLiterals;

// The list's directory, empty at the start of each test.
struct UrlList : ::testing::Test
{
    void expectLineRules(const QByteArray &content, const char *encoding = "UTF-8");

    QTemporaryDir dir;
    const UrlListFile list {dir.path(), TextEncoding("UTF-8")};
};

// The line rules read the plain way: a line ends at CR LF, CR or LF, every line counts, empty
// ones too. A rotation takes the first address, leaves an empty line in its
// place and appends it, every line then ending in CR LF. Compaction drops the empty lines and
// ends the last one in CR LF only when an empty line followed it. Lines are kept as bytes.
// The code that streams the list in pieces must give the same wherever a piece ends.
void UrlList::expectLineRules(const QByteArray &content, const char *encoding)
{
    SCOPED_TRACE(::testing::PrintToString(content));
    QByteArray joined = content;
    QByteArrayList lines = joined.replace("\r\n", "\r").replace('\n', '\r').split('\r');
    if (joined.isEmpty() || joined.endsWith('\r'))
        lines.removeLast();
    EXPECT_EQ(TextLines::split(content), lines);
    QByteArrayList kept = lines;
    kept.removeAll({});
    const QByteArray compacted
        = kept.join("\r\n") + (kept.size() && lines.last().isEmpty() ? "\r\n" : "");
    const auto first = std::find_if(lines.begin(), lines.end(), std::not_fn(&QByteArray::isEmpty));
    const QByteArray taken = first == lines.end() ? QByteArray() : std::exchange(*first, {});

    writeBytes(list.path(), content);
    EXPECT_EQ(list.CountUrlList(), lines.size());
    EXPECT_EQ(UrlListFile(dir.path(), TextEncoding(encoding)).RotateUrlList(),
              TextEncoding(encoding).decode(taken));
    EXPECT_EQ(readBytes(list.path()), (lines << taken).join("\r\n") + "\r\n");
    writeBytes(list.path(), content);
    list.CompactUrlList();
    EXPECT_EQ(readBytes(list.path()), compacted);
}

TEST_F(UrlList, CountRotationAndCompactionFollowTheLineRulesWherePiecesEnd)
{
    // Lists written with LF or CR alone count, rotate and compact as their CR LF twins do.
    const QByteArray contents
        = "|\r\n|\r\r|\n|\n\n|\n\r|A|A\r\nB\r\nC|A\nB\nC|A\rB\rC|"
          "\r\n\r\nC\r\nA\r\nB\r\n|\n\nC\nA\nB\n|A\r\nB\r\n\r\n|A\nB\n\n|\rA\rB|"
          "A\rB\r\rC|A\r\nB\nC|A\r\nB\n|A\n\r\n\r\nB|A\n\rB\r\r\n|   \n\nB|"
          "https://例子.cn/页\nB";
    for (const QByteArray &content : contents.split('|'))
        expectLineRules(content);
    // Decoded in the encoding passed in; bytes that are no text in it stay as they were.
    const QString address = u"http://例子.中国/搜索?词=关键字\r\n"_s;
    for (const char *encoding : {"GBK", "no-such-charset"})
        expectLineRules(TextEncoding(encoding).encode(address) + "http://a.cn/\x81 \xff\xe4\xb8",
                        encoding);
    // Line ends, lone CRs and LFs just before, on and after the first two piece boundaries,
    // after addresses, empty lines or one long line.
    for (const QByteArray filler : {"https://example.org/p\r\n", "\r\n", "\r", "\n", "x"})
        for (const qsizetype end : {UrlListFile::chunkSize - 4, 2 * UrlListFile::chunkSize - 4})
            for (int d = 0; d < 8 && !HasFailure(); ++d)
                for (const char *tail : {"\rA\r\n", "\r\nA", "\r\r\nB\r", "\n\r\n\r\nC\r\n\r\n",
                                         "\xff\r", "\nA\n\nB\n"})
                    expectLineRules(filler.repeated(end / filler.size() + 8).first(end + d) + tail);
    // A lone CR or LF at each offset of the 64-byte blocks the fast scans go in.
    for (int at = 0; at < 130 && !HasFailure(); ++at)
        for (const char *lone : {"\rB", "\nB"})
            expectLineRules("A\r\n" + QByteArray(at, 'x') + lone + QByteArray(100, 'y'));
}

// A missing list fails every operation but EnsureUrlList, which creates it (and keeps one that
// exists); a directory in its place is no list. A rewrite that fails half way, as on a full
// disk, leaves the list whole and no temporary file.
TEST_F(UrlList, FailuresLeaveTheDirectoryAsItWas)
{
    EXPECT_THROW(list.CountUrlList(), FileError);
    EXPECT_THROW(list.RotateUrlList(), FileError);
    EXPECT_THROW(list.CompactUrlList(), FileError);
    EXPECT_EQ(dirEntries(dir.path()), QStringList());
    list.EnsureUrlList();
    EXPECT_EQ(readBytes(list.path()), QByteArray());
    const QByteArray content = "\r\n" + QByteArray("https://example.org/p\r\n").repeated(20000);
    for (const bool rotate : {true, false}) {
        writeBytes(list.path(), content);
        list.EnsureUrlList();
        const FileSizeLimit limit(64 * 1024);
        EXPECT_THROW(rotate ? void(list.RotateUrlList()) : list.CompactUrlList(), FileError);
        EXPECT_EQ(readBytes(list.path()), content);
        EXPECT_EQ(dirEntries(dir.path()), QStringList(UrlListFile::fileName()));
    }
    QDir(dir.path()).remove(UrlListFile::fileName());
    ASSERT_TRUE(QDir(dir.path()).mkdir(UrlListFile::fileName()));
    EXPECT_FALSE(list.exists());
    EXPECT_THROW(list.EnsureUrlList(), FileError);
}
