#include "core/fileerror.h"
#include "output/keywordexport.h"
#include "support/filesizelimit.h"
#include "support/testfiles.h"

#include <QDir>

using namespace Qt::StringLiterals;

// Every item is one line ending in CR LF, in the encoding passed in, nothing trimmed or
// escaped; each export appends to what the file holds, and the first creates it.
TEST(Export, AppendsOneLinePerItem)
{
    QTemporaryDir dir, empty;
    const KeywordFile file(dir.path(), TextEncoding("GBK"));
    writeBytes(file.path(), "old");
    file.append({u"热门"_s, QString(), u" "_s, u"one\ntwo"_s, u"x\r\ny"_s});
    file.append({});
    file.append({u"天气"_s});
    EXPECT_EQ(readBytes(file.path()),
              "old\xc8\xc8\xc3\xc5\r\n\r\n \r\none\ntwo\r\nx\r\ny\r\n\xcc\xec\xc6\xf8\r\n");
    KeywordFile(empty.path(), TextEncoding("UTF-8")).append({});
    EXPECT_EQ(readBytes(empty.filePath(KeywordFile::fileName())), QByteArray());
}

// A disk that fills up half way, a directory in the file's place or one that is gone: the
// export fails, says where and why, and leaves the keyword file as it was, or absent.
TEST(Export, AFailedExportChangesNothing)
{
    QTemporaryDir old, fresh, directory;
    writeBytes(old.filePath(KeywordFile::fileName()), "earlier export\r\n");
    QDir(directory.path()).mkdir(KeywordFile::fileName());
    const FileSizeLimit limit(64 * 1024);
    for (const QString &where :
         {old.path(), fresh.path(), directory.path(), old.filePath(u"gone"_s)}) {
        const KeywordFile file(where, TextEncoding("UTF-8"));
        try {
            file.append(QStringList(20000, u"keyword number 12345"_s));
            ADD_FAILURE() << "export to " << qPrintable(where) << " succeeded";
        } catch (const FileError &error) {
            EXPECT_EQ(error.path(), file.path());
            EXPECT_FALSE(error.reason().isEmpty());
        }
    }
    EXPECT_EQ(readBytes(old.filePath(KeywordFile::fileName())), "earlier export\r\n");
    EXPECT_EQ(dirEntries(fresh.path()), QStringList());
}
