#include "core/textencoding.h"
#include "support/testfiles.h"
#include "urlqueue/textlinefile.h"

#include <gtest/gtest.h>

#include <QScopeGuard>

#include <clocale>
#include <utility>

namespace {

TEST(TextLines, SplitAndCountFollowTheLineRules)
{
    const std::pair<QByteArray, QByteArrayList> rows[] = {
        {"", {}},
        {"\r\n", {""}},
        {"A\r\n", {"A"}},
        {"A\rB\r", {"A", "B"}},
        {"A\nB\r\nC", {"A\nB", "C"}},
        {"\r\r\n\n", {"", "", "\n"}},
    };
    for (const auto &[content, lines] : rows) {
        SCOPED_TRACE(::testing::PrintToString(content));
        EXPECT_EQ(TextLines::split(content), lines);
        EXPECT_EQ(TextLines::count(content), lines.size());
    }
    EXPECT_EQ(TextLines::join({"A", "", "B\n"}), "A\r\n\r\nB\n\r\n");
}

TEST(TextEncoding, UnconfiguredLocalesGiveUtf8AndTheProcessLocaleStays)
{
    const QByteArray before = std::setlocale(LC_CTYPE, nullptr);
    const auto restore = qScopeGuard([old = qgetenv("LC_ALL")] { qputenv("LC_ALL", old); });
    // C.UTF-8 too, so that a locale left switched shows whichever one the process has.
    for (const char *locale : {"C", "POSIX", "C.UTF-8"}) {
        SCOPED_TRACE(locale);
        qputenv("LC_ALL", locale);
        EXPECT_EQ(TextEncoding::system().name(), "UTF-8");
        EXPECT_EQ(QByteArray(std::setlocale(LC_CTYPE, nullptr)), before);
    }
}

} // namespace
