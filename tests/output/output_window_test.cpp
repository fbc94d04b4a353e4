#include "app/form1.h"
#include "support/guisupport.h"
#include "support/testfiles.h"
#include "support/wait.h"

#include <QDir>
#include <QFile>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString E;

class OutputWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        LoopbackOnly::install();
        m_form = std::make_unique<Form1>(m_dir.path(), TextEncoding("GBK"));
        {
            BoxAnswerer startUp;
            m_form->Form_Load();
        }
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void fill(const QStringList &items) { m_form->keywords().append(items); }
    QStringList items() const { return m_form->keywords().items(); }

    void doubleClickItem(int row)
    {
        QListView *view = m_form->List1;
        const QRect rect = view->visualRect(view->model()->index(row, 0));
        ASSERT_TRUE(rect.isValid()) << row;
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    }

    QByteArray keywordFileBytes() const { return readBytes(m_form->keywordFile().path()); }

    QTemporaryDir m_dir;
    std::unique_ptr<Form1> m_form;
};

} // namespace

TEST_F(OutputWindowTest, DoubleClickRemovesTheSelectedItem)
{
    fill({u"一"_s, u"二"_s, u"三"_s, u"四"_s, u"五"_s});
    doubleClickItem(2);
    EXPECT_EQ(items(), (QStringList {u"一"_s, u"二"_s, u"四"_s, u"五"_s}));

    m_form->keywords().append(QStringList {E, u"六"_s});
    doubleClickItem(4); // the empty item
    EXPECT_EQ(items(), (QStringList {u"一"_s, u"二"_s, u"四"_s, u"五"_s, u"六"_s}));
}

TEST_F(OutputWindowTest, DoubleClickWithNothingSelectedDoesNothing)
{
    fill({u"一"_s, u"二"_s});
    BoxAnswerer boxes;
    // Below the last item: nothing gets selected.
    QTest::mouseDClick(m_form->List1->viewport(), Qt::LeftButton, {},
                       QPoint(5, m_form->List1->viewport()->height() - 3));
    spinFor(50);
    EXPECT_EQ(items(), (QStringList {u"一"_s, u"二"_s}));
    EXPECT_TRUE(boxes.texts().isEmpty());
}

TEST_F(OutputWindowTest, DeleteEmptyLinesTakesEveryEmptyItemAndNothingElse)
{
    fill({E, E, u"x"_s, E, E, E, u" "_s, u"  "_s, E, u"y"_s, E});
    QTest::mouseClick(m_form->Command4, Qt::LeftButton);
    EXPECT_EQ(items(), (QStringList {u"x"_s, u" "_s, u"  "_s, u"y"_s}));
    QTest::mouseClick(m_form->Command4, Qt::LeftButton);
    EXPECT_EQ(items(), (QStringList {u"x"_s, u" "_s, u"  "_s, u"y"_s}));
}

TEST_F(OutputWindowTest, GenerateTextAppendsTheListInTheSystemEncoding)
{
    fill({u"天气"_s, E, u"热搜"_s});
    QTest::mouseClick(m_form->Command2, Qt::LeftButton);
    QTest::mouseClick(m_form->Command2, Qt::LeftButton);
    const QByteArray once("\xcc\xec\xc6\xf8\r\n\r\n\xc8\xc8\xcb\xd1\r\n");
    EXPECT_EQ(keywordFileBytes(), once + once);
    EXPECT_EQ(items(), (QStringList {u"天气"_s, E, u"热搜"_s})); // the list stays
}

TEST_F(OutputWindowTest, FailedExportKeepsTheListAndSaysWhy)
{
    fill({u"天气"_s});
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(u"关键字生成.txt"_s));
    QTest::mouseClick(m_form->Command1, Qt::LeftButton); // a crawl is running
    ASSERT_TRUE(m_form->Timer1().isTicking());

    BoxAnswerer boxes;
    QTest::mouseClick(m_form->Command2, Qt::LeftButton);
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes().at(0).title, u"Lexhaul");
    EXPECT_TRUE(boxes.texts().at(0).contains(m_form->keywordFile().path()));
    EXPECT_TRUE(m_form->isVisible());
    EXPECT_EQ(items(), QStringList {u"天气"_s});
    EXPECT_FALSE(m_form->Timer1().isTicking()); // the export stopped the crawl first
    EXPECT_FALSE(m_form->Timer2().isTicking());
    EXPECT_TRUE(QFileInfo(m_form->keywordFile().path()).isDir());
}
