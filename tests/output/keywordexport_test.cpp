#include "core/fileerror.h"
#include "output/keywordexport.h"
#include "support/filesizelimit.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString E;

struct ExportCase
{
    const char *name;
    std::optional<QByteArray> before; // nullopt: no keyword file yet
    QList<QStringList> exports;
    QByteArray after;
};

class Export : public ::testing::TestWithParam<ExportCase>
{
};

} // namespace

TEST_P(Export, AppendsOneLinePerItem)
{
    QTemporaryDir dir;
    KeywordFile file(dir.path(), TextEncoding("UTF-8"));
    if (GetParam().before)
        writeBytes(file.path(), *GetParam().before);
    for (const QStringList &items : GetParam().exports)
        file.append(items);
    EXPECT_EQ(readBytes(file.path()), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Output, Export,
    ::testing::Values(
        ExportCase {
            "ThreeItemsToMissingFile", std::nullopt, {{u"a"_s, u"b"_s, u"c"_s}}, "a\r\nb\r\nc\r\n"},
        ExportCase {"TwiceWithoutSeparator",
                    std::nullopt,
                    {{u"a"_s, u"b"_s, u"c"_s}, {u"a"_s, u"b"_s, u"c"_s}},
                    "a\r\nb\r\nc\r\na\r\nb\r\nc\r\n"},
        ExportCase {"EmptyListCreatesEmptyFile", std::nullopt, {{}}, ""},
        ExportCase {"EmptyListLeavesFileAlone", QByteArray("x\r\ny"), {{}}, "x\r\ny"},
        ExportCase {"EmptyItemIsEmptyLine", std::nullopt, {{u"a"_s, E, u"b"_s}}, "a\r\n\r\nb\r\n"},
        ExportCase {"ContinuesAnUnfinishedLastLine", QByteArray("old"), {{u"a"_s}}, "olda\r\n"},
        ExportCase {"LineBreakInsideItemUnchanged",
                    std::nullopt,
                    {{u"one\ntwo"_s, u"x\r\ny"_s}},
                    "one\ntwo\r\nx\r\ny\r\n"},
        ExportCase {"SpacesKept", std::nullopt, {{u" "_s, u"  a  "_s}}, " \r\n  a  \r\n"}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(Export, WritesTheEncodingPassedIn)
{
    QTemporaryDir dir;
    KeywordFile file(dir.path(), TextEncoding("GBK"));
    file.append({u"热门关键字"_s, u"天气"_s});
    // 热门关键字 and 天气 in GBK, each line ended by CR LF.
    EXPECT_EQ(readBytes(file.path()),
              QByteArray("\xc8\xc8\xc3\xc5\xb9\xd8\xbc\xfc\xd7\xd6\r\n"
                         "\xcc\xec\xc6\xf8\r\n"));
}

// A directory in the file's place, or a directory that is gone: the export fails, says where
// and why, and leaves the directory as it was.
TEST(Export, FileThatCannotBeOpenedFailsAndChangesNothing)
{
    for (const bool directoryGone : {false, true}) {
        QTemporaryDir dir;
        const QString where = directoryGone ? dir.filePath(u"gone"_s) : dir.path();
        KeywordFile file(where, TextEncoding("UTF-8"));
        if (!directoryGone) {
            ASSERT_TRUE(QDir(where).mkdir(KeywordFile::fileName()));
        }
        try {
            file.append({u"a"_s});
            ADD_FAILURE() << "export succeeded";
        } catch (const FileError &error) {
            EXPECT_EQ(error.path(), file.path());
            EXPECT_FALSE(error.reason().isEmpty());
        }
        EXPECT_EQ(dirEntries(dir.path()),
                  directoryGone ? QStringList() : QStringList(KeywordFile::fileName()));
    }
}

// A disk that fills up in the middle of the write: the file size limit lets part of the
// export through and then fails the write, as a full disk would.
TEST(Export, WriteFailingHalfWayLeavesTheOldBytes)
{
    QTemporaryDir dir;
    KeywordFile file(dir.path(), TextEncoding("UTF-8"));
    const QByteArray old("earlier export\r\n");
    writeBytes(file.path(), old);
    QStringList many;
    for (int i = 0; i < 20000; ++i)
        many.append(u"keyword number "_s + QString::number(i));

    bool failed = false;
    try {
        const FileSizeLimit limit(64 * 1024);
        ASSERT_TRUE(limit.isActive());
        file.append(many);
    } catch (const FileError &) {
        failed = true;
    }

    EXPECT_TRUE(failed);
    EXPECT_EQ(readBytes(file.path()), old);
}
