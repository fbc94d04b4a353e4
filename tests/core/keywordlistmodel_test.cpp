#include "core/keywordlistmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "support/testfiles.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(KeywordList, StartsEmpty)
{
    KeywordListModel list;
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.itemAt(0), QString());
    EXPECT_EQ(list.itemAt(-1), QString());
    EXPECT_FALSE(list.removeAt(0));
}

TEST(KeywordList, RemovalMovesLaterItemsDownAndFailsWhereThereIsNoItem)
{
    KeywordListModel list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    list.append(QStringList {u"a"_s, u"b"_s, u"c"_s});
    EXPECT_TRUE(list.removeAt(1));
    EXPECT_EQ(list.items(), (QStringList {u"a"_s, u"c"_s}));
    EXPECT_EQ(list.itemAt(2), QString());

    QSignalSpy removed(&list, &QAbstractItemModel::rowsRemoved);
    for (qsizetype bad : {qsizetype(2), qsizetype(-1), qsizetype(100)}) {
        EXPECT_FALSE(list.removeAt(bad)) << bad;
        EXPECT_EQ(list.items(), (QStringList {u"a"_s, u"c"_s}));
    }
    EXPECT_FALSE(list.removeRange(1, 2));
    EXPECT_FALSE(list.removeRange(0, 0));
    EXPECT_EQ(removed.count(), 0);
}

TEST(KeywordList, AnyStringIsAnItem)
{
    KeywordListModel list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    list.append(u"x"_s);
    list.append(QString());
    list.append(u"x"_s);
    list.append(u"line\r\nbreak"_s);
    EXPECT_EQ(list.items(), (QStringList {u"x"_s, QString(), u"x"_s, u"line\r\nbreak"_s}));
    EXPECT_EQ(list.data(list.index(3)).toString(), u"line\r\nbreak");
}

TEST(KeywordList, HoldsAMillionItems)
{
    KeywordListModel list;
    QStringList many;
    many.reserve(1'000'000);
    for (int i = 0; i < 1'000'000; ++i)
        many.append(QString::number(i));
    list.append(many);
    EXPECT_EQ(list.count(), 1'000'000);
    EXPECT_EQ(list.rowCount(), 1'000'000);
    EXPECT_TRUE(list.removeRange(0, 999'999));
    EXPECT_EQ(list.items(), QStringList {u"999999"_s});
}

// Many scattered removals go in one pass; the result is the same as one by one.
TEST(KeywordList, RemoveIfTakesScatteredItemsInOneGo)
{
    KeywordListModel list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QStringList items, expected;
    for (int i = 0; i < 5000; ++i) {
        items.append(QString::number(i));
        expected.append(QString::number(i));
        for (int k = i % 3; k > 0; --k)
            items.append(QString());
    }
    list.append(items);
    EXPECT_EQ(list.removeIf([](const QString &item) { return item.isEmpty(); }), 4999);
    EXPECT_EQ(list.items(), expected);
}
