#include "core/keywordlistmodel.h"
#include "support/testfiles.h"

#include <QAbstractItemModelTester>

using namespace Qt::StringLiterals;

// The list under a model tester, which fails the test on any signal a view would trip over.
struct KeywordList : ::testing::Test
{
    KeywordListModel list;
    QAbstractItemModelTester tester {&list, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(KeywordList, WhereThereIsNoItemNothingIsReadOrRemoved)
{
    list.append({u"a"_s, QString(), u"a"_s, u"gone"_s});
    ASSERT_TRUE(list.removeAt(3)); // leaves what it held just past the end
    EXPECT_EQ(list.itemAt(-1) + list.itemAt(3), QString());
    const std::pair<qsizetype, qsizetype> ranges[] = {{-1, 1}, {3, 1}, {2, 2}, {0, 0}, {0, 4}};
    for (const auto &[first, count] : ranges)
        EXPECT_FALSE(list.removeRange(first, count)) << first << ", " << count;
    EXPECT_TRUE(list.removeAt(1));
    EXPECT_EQ(list.items(), (QStringList {u"a"_s, u"a"_s}));
}

// A few runs of matches are removed one by one, many in one pass: the same items go.
TEST_F(KeywordList, RemoveIfTakesTheMatchesFromTheGivenIndexOn)
{
    for (const int n : {10, 500}) {
        QStringList items;
        for (int i = 0; i < n; ++i)
            items << QString::number(i) << QString();
        list.append(items);
        EXPECT_EQ(list.removeIf([](const QString &item) { return item.isEmpty(); }, 3), n - 1);
        items.removeAll(QString());
        items.insert(1, QString()); // before the index, so it stays
        EXPECT_EQ(list.items(), items) << n;
        list.removeRange(0, list.count());
    }
}
