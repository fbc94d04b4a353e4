#include "testfiles.h"
#include "textlinefile.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <string_view>

using namespace std::string_view_literals;

namespace {

QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

struct SplitCase
{
    const char *name;
    std::string_view content;
    std::vector<std::string_view> lines;
};

void PrintTo(const SplitCase &c, std::ostream *os)
{
    *os << c.name;
}

class TextLinesSplit : public ::testing::TestWithParam<SplitCase>
{
};

TEST_P(TextLinesSplit, GivesTheLinesOfTheRules)
{
    const SplitCase &c = GetParam();
    QList<QByteArray> expected;
    for (std::string_view line : c.lines)
        expected.append(bytes(line));

    EXPECT_EQ(TextLines::split(bytes(c.content)), expected);
    EXPECT_EQ(TextLines::count(bytes(c.content)), expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TextLinesSplit,
    ::testing::Values(
        SplitCase {"ZeroLength", ""sv, {}}, SplitCase {"OnlyCrLf", "\r\n"sv, {""sv}},
        SplitCase {"OnlyCr", "\r"sv, {""sv}}, SplitCase {"NoTerminator", "A"sv, {"A"sv}},
        SplitCase {"EndsInCr", "A\r"sv, {"A"sv}},
        SplitCase {"FinalCrLfAddsNoLine", "A\r\n"sv, {"A"sv}},
        SplitCase {"CrAloneEndsALine", "A\rB"sv, {"A"sv, "B"sv}},
        SplitCase {"LoneLfStaysInside", "A\nB\r\nC"sv, {"A\nB"sv, "C"sv}},
        SplitCase {"OnlyLf", "\n"sv, {"\n"sv}},
        SplitCase {"LfAfterCrLfStartsALine", "A\r\n\n"sv, {"A"sv, "\n"sv}},
        SplitCase {"CrThenCrLf", "\r\r\n"sv, {""sv, ""sv}},
        SplitCase {"EmptyLinesCount", "A\r\n\r\nB\r\n\r\n"sv, {"A"sv, ""sv, "B"sv, ""sv}},
        SplitCase {"MixedTerminators", "A\rB\r\nC\r\rD"sv, {"A"sv, "B"sv, "C"sv, ""sv, "D"sv}},
        SplitCase {"NulBytesAreContent", "A\0B\r\n\0"sv, {"A\0B"sv, "\0"sv}}),
    [](const ::testing::TestParamInfo<SplitCase> &info) { return std::string(info.param.name); });

// The rules read one byte at a time, as they are stated: the reference the scanning code
// is held against.
QList<QByteArray> referenceSplit(const QByteArray &content)
{
    QList<QByteArray> lines;
    qsizetype pos = 0;
    while (pos < content.size()) {
        QByteArray line;
        while (pos < content.size() && content[pos] != '\r')
            line += content[pos++];
        if (pos < content.size()) {
            ++pos;
            if (pos < content.size() && content[pos] == '\n')
                ++pos;
        }
        lines.append(line);
    }
    return lines;
}

TEST(TextLines, AgreesWithTheByteByByteRulesOnRandomContent)
{
    // Long enough to cross the block boundaries of the vectorised count.
    QRandomGenerator random(20240601);
    const char alphabet[] = {'\r', '\n', 'a', 'b', ' '};
    for (int round = 0; round < 2000; ++round) {
        QByteArray content;
        const int size = random.bounded(300);
        for (int i = 0; i < size; ++i)
            content += alphabet[random.bounded(int(sizeof alphabet))];
        SCOPED_TRACE(::testing::PrintToString(content));

        const QList<QByteArray> expected = referenceSplit(content);
        ASSERT_EQ(TextLines::split(content), expected);
        ASSERT_EQ(TextLines::count(content), expected.size());
    }
}

TEST(TextLines, JoinEndsEveryLineInCrLf)
{
    EXPECT_EQ(TextLines::join({}), QByteArray());
    EXPECT_EQ(TextLines::join({QByteArray()}), QByteArrayLiteral("\r\n"));
    EXPECT_EQ(TextLines::join({"A", "", "B\n"}), QByteArrayLiteral("A\r\n\r\nB\n\r\n"));
}

} // namespace
