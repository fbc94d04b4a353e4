#include "testfiles.h"
#include "textencoding.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <clocale>
#include <optional>

namespace {

TEST(TextEncoding, GbkEncodesAndDecodesChinese)
{
    const TextEncoding gbk(QByteArrayLiteral("GBK"));
    ASSERT_TRUE(gbk.isValid());
    const QString text = QStringLiteral("中文网址");
    const QByteArray encoded = gbk.encode(text);
    EXPECT_EQ(encoded, QByteArray::fromHex("d6d0cec4cdf8d6b7"));
    EXPECT_EQ(gbk.decode(encoded), text);
}

TEST(TextEncoding, UnknownNameIsInvalidAndKeepsTextAsUtf8)
{
    const TextEncoding unknown(QByteArrayLiteral("no-such-charset"));
    EXPECT_FALSE(unknown.isValid());
    const QString text = QStringLiteral("网址");
    EXPECT_EQ(unknown.encode(text), text.toUtf8());
    EXPECT_EQ(unknown.decode(text.toUtf8()), text);
}

// Sets (or unsets) an environment variable for the lifetime of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, std::optional<QByteArray> value)
        : m_name(name)
        , m_old(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        set(value);
    }
    ~ScopedEnv() { set(m_old); }

private:
    void set(const std::optional<QByteArray> &value)
    {
        if (value)
            qputenv(m_name, *value);
        else
            qunsetenv(m_name);
    }

    const char *m_name;
    std::optional<QByteArray> m_old;
};

TEST(TextEncodingSystem, CAndPosixLocalesGiveUtf8)
{
    for (const char *locale : {"C", "POSIX"}) {
        SCOPED_TRACE(locale);
        const ScopedEnv lcAll("LC_ALL", QByteArray(locale));
        const TextEncoding encoding = TextEncoding::system();
        EXPECT_EQ(encoding.name(), QByteArrayLiteral("UTF-8"));
        EXPECT_TRUE(encoding.isValid());
    }
}

TEST(TextEncodingSystem, LeavesTheProcessLocaleAsItWas)
{
    const QByteArray before = setlocale(LC_CTYPE, nullptr);
    const ScopedEnv lcAll("LC_ALL", QByteArray(before == "C" ? "C.UTF-8" : "C"));
    TextEncoding::system();
    EXPECT_EQ(QByteArray(setlocale(LC_CTYPE, nullptr)), before);
}

TEST(TextEncodingSystem, GbkLocaleGivesGbk)
{
    // A zh_CN.GBK locale built for this test alone, found through LOCPATH.
    const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
    if (localedef.isEmpty())
        GTEST_SKIP() << "localedef is not installed";
    QTemporaryDir locales;
    ASSERT_TRUE(locales.isValid());
    QProcess build;
    build.start(localedef,
                {QStringLiteral("-i"), QStringLiteral("zh_CN"), QStringLiteral("-f"),
                 QStringLiteral("GBK"), locales.filePath(QStringLiteral("zh_CN.GBK"))});
    build.waitForFinished(60000);
    if (!QDir(locales.filePath(QStringLiteral("zh_CN.GBK"))).exists())
        GTEST_SKIP() << "no zh_CN/GBK locale sources: "
                     << build.readAllStandardError().toStdString();

    const ScopedEnv locPath("LOCPATH", QFile::encodeName(locales.path()));
    const ScopedEnv lcAll("LC_ALL", QByteArrayLiteral("zh_CN.GBK"));
    const TextEncoding encoding = TextEncoding::system();
    EXPECT_EQ(encoding.name(), QByteArrayLiteral("GBK"));
    EXPECT_TRUE(encoding.isValid());
    EXPECT_EQ(encoding.decode(QByteArray::fromHex("d6d0cec4")), QStringLiteral("中文"));
}

} // namespace
