#include "app/form1.h"
#include "app/program.h"
#include "harvest/browserpane.h"
#include "support/guisupport.h"
#include "support/wait.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "support/testfiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

const TextEncoding Utf8("UTF-8");

class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override { LoopbackOnly::install(); }

    QString urlListPath() const { return m_dir.filePath(u"抓关键字网址.txt"_s); }

    // A window that has been through start-up, shown and active.
    std::unique_ptr<Form1> openWindow(const QByteArray &urlList = {})
    {
        writeBytes(urlListPath(), urlList);
        auto form = std::make_unique<Form1>(m_dir.path(), Utf8);
        BoxAnswerer answerer;
        form->Form_Load();
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return form;
    }

    QTemporaryDir m_dir;
};

struct ControlCase
{
    const char *name;
    const char *container;
    QRect geometry;
    QString caption;
};

QString captionOf(QWidget *widget)
{
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        return box->title();
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        return edit->text();
    return QString();
}

} // namespace

TEST_F(WindowTest, ControlsStandWhereTheyBelong)
{
    auto form = openWindow();
    EXPECT_EQ(form->windowTitle(), u"Lexhaul获取工具1.0       ");
    EXPECT_EQ(form->size(), QSize(556, 312));
    EXPECT_EQ(form->minimumSize(), QSize(556, 312)); // the stored size is the smallest

    const ControlCase controls[] = {
        {"Command4", "Form1", {288, 256, 97, 25}, u"删除空行"_s},
        {"Command3", "Form1", {400, 256, 121, 25}, u"退出"_s},
        {"Command2", "Form1", {152, 256, 113, 25}, u"生成文本"_s},
        {"Command1", "Form1", {16, 256, 113, 25}, u"获取"_s},
        {"WebBrowser1", "Form1", {16, 312, 2, 9}, QString()},
        {"Frame1", "Form1", {8, 16, 497, 225}, u"取得关键字地址"_s},
        {"List1", "Frame1", {8, 96, 441, 112}, QString()},
        {"Text1", "Frame1", {8, 16, 441, 33}, QString()},
        {"Label3", "Frame1", {296, 64, 97, 33}, u"抓取第0个网址"_s},
        {"Label2", "Frame1", {144, 72, 137, 25}, QString()},
        {"Label1", "Frame1", {8, 72, 81, 25}, u"获取内容"_s},
    };
    for (const ControlCase &control : controls) {
        auto *widget = form->findChild<QWidget *>(QString::fromLatin1(control.name));
        ASSERT_NE(widget, nullptr) << control.name;
        EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(control.container))
            << control.name;
        EXPECT_EQ(widget->geometry(), control.geometry) << control.name;
        EXPECT_EQ(captionOf(widget), control.caption) << control.name;
        EXPECT_TRUE(widget->isVisible()) << control.name;
    }
    // Loaded like a visible browser, yet wholly below the client area.
    EXPECT_GE(form->WebBrowser1->geometry().top(), form->rect().bottom() + 1);
    EXPECT_TRUE(form->visibleRegion().intersected(form->WebBrowser1->geometry()).isEmpty());

    for (QPushButton *button : {form->Command1, form->Command2, form->Command3, form->Command4}) {
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    }
    for (QWidget *passive :
         {static_cast<QWidget *>(form->Frame1), static_cast<QWidget *>(form->Label1),
          static_cast<QWidget *>(form->Label2), static_cast<QWidget *>(form->Label3)})
        EXPECT_EQ(passive->focusPolicy(), Qt::NoFocus) << passive->objectName().toStdString();

    EXPECT_EQ(form->Timer1().isEnabled(), true);
    EXPECT_EQ(form->Timer1().interval(), 0);
    EXPECT_FALSE(form->Timer1().isTicking());
    EXPECT_FALSE(form->Timer2().isEnabled());
    EXPECT_EQ(form->Timer2().interval(), 1000);
    EXPECT_EQ(form->keywords().count(), 0);
}

TEST_F(WindowTest, TheListGrowsWithTheWindowAndTheBrowserStaysOutOfView)
{
    auto form = openWindow();
    const std::function<void(Form1 &)> enlargements[] = {
        [](Form1 &window) { window.resize(900, 640); },
        [](Form1 &window) { window.showMaximized(); },
    };
    for (const auto &enlarge : enlargements) {
        enlarge(*form);
        ASSERT_TRUE(waitUntil([&] { return form->width() > 556 && form->height() > 312; }));
        const int dw = form->width() - 556;
        const int dh = form->height() - 312;
        SCOPED_TRACE(testing::Message() << form->width() << "x" << form->height());
        EXPECT_EQ(form->Frame1->geometry(), QRect(8, 16, 497 + dw, 225 + dh));
        EXPECT_EQ(form->Text1->geometry(), QRect(8, 16, 441 + dw, 33));
        EXPECT_EQ(form->List1->geometry(), QRect(8, 96, 441 + dw, 112 + dh));
        EXPECT_EQ(form->Label1->geometry(), QRect(8, 72, 81, 25));
        EXPECT_EQ(form->Label2->geometry(), QRect(144, 72, 137, 25));
        EXPECT_EQ(form->Label3->geometry(), QRect(296, 64, 97, 33));
        EXPECT_EQ(form->Command1->geometry(), QRect(16, 256 + dh, 113, 25));
        EXPECT_EQ(form->Command2->geometry(), QRect(152, 256 + dh, 113, 25));
        EXPECT_EQ(form->Command4->geometry(), QRect(288, 256 + dh, 97, 25));
        EXPECT_EQ(form->Command3->geometry(), QRect(400, 256 + dh, 121, 25));
        EXPECT_EQ(form->WebBrowser1->geometry(), QRect(16, form->height(), 2, 9));
        EXPECT_FALSE(form->rect().intersects(form->WebBrowser1->geometry()));

        // Back at the stored size everything stands where it started.
        form->showNormal();
        form->resize(556, 312);
        ASSERT_TRUE(waitUntil([&] { return form->size() == QSize(556, 312); }));
        EXPECT_EQ(form->List1->geometry(), QRect(8, 96, 441, 112));
        EXPECT_EQ(form->Command3->geometry(), QRect(400, 256, 121, 25));
        EXPECT_EQ(form->WebBrowser1->geometry(), QRect(16, 312, 2, 9));
    }
}

TEST_F(WindowTest, FocusStartsInTheAddressBoxAndFollowsTheTabOrder)
{
    auto form = openWindow();
    EXPECT_TRUE(waitUntil([&] { return QApplication::focusWidget() == form->Text1; }));

    const QList<QWidget *> expected {form->Text1,    form->WebBrowser1, form->List1,
                                     form->Command1, form->Command2,    form->Command3,
                                     form->Command4};
    QList<QWidget *> order;
    QWidget *widget = form->Text1;
    do {
        for (QWidget *control : expected) {
            if ((widget == control || widget == control->focusProxy()) && !order.contains(control))
                order.append(control);
        }
        widget = widget->nextInFocusChain();
    } while (widget != form->Text1 && order.size() < expected.size());
    EXPECT_EQ(order, expected);
}

TEST_F(WindowTest, EveryChangeOfTheAddressBoxNavigates)
{
    auto form = openWindow();
    QSignalSpy navigations(form->WebBrowser1, &BrowserPane::navigationRequested);
    QTest::keyClicks(form->Text1, u"abc"_s);
    ASSERT_EQ(navigations.count(), 3);
    EXPECT_EQ(navigations.at(0).at(0).toUrl(), QUrl(u"http://a"_s));
    EXPECT_EQ(navigations.at(1).at(0).toUrl(), QUrl(u"http://ab"_s));
    EXPECT_EQ(navigations.at(2).at(0).toUrl(), QUrl(u"http://abc"_s));

    // An assignment by the program navigates once, inside the assignment.
    form->Text1->setText(u"127.0.0.1:1/x"_s);
    ASSERT_EQ(navigations.count(), 4);
    EXPECT_EQ(navigations.at(3).at(0).toUrl(), QUrl(u"http://127.0.0.1:1/x"_s));

    // Deleting the text leaves nothing to send.
    form->Text1->clear();
    EXPECT_EQ(navigations.count(), 4);
}

struct StartCase
{
    const char *name;
    std::optional<QByteArray> urlList;
    QString message;
    QString label3;
};

class StartUp : public WindowTest, public ::testing::WithParamInterface<StartCase>
{
};

TEST_P(StartUp, TellsTheTotalBeforeTheWindowShows)
{
    if (GetParam().urlList)
        writeBytes(urlListPath(), *GetParam().urlList);
    Form1 form(m_dir.path(), Utf8);
    bool windowShownDuringBox = true;
    BoxAnswerer answerer(
        [&](const BoxAnswerer::Box &) { windowShownDuringBox = form.isVisible(); });
    form.Form_Load();
    ASSERT_EQ(answerer.boxes().size(), 1);
    EXPECT_EQ(answerer.boxes().at(0).title, u"Lexhaul");
    EXPECT_EQ(answerer.boxes().at(0).text, GetParam().message);
    EXPECT_FALSE(windowShownDuringBox);
    EXPECT_EQ(form.Label3->text(), GetParam().label3);
    EXPECT_TRUE(QFileInfo(urlListPath()).isFile());
    if (GetParam().urlList)
        EXPECT_EQ(readBytes(urlListPath()), *GetParam().urlList); // start-up changes nothing
    else
        EXPECT_EQ(readBytes(urlListPath()), QByteArray());
}

INSTANTIATE_TEST_SUITE_P(
    Window, StartUp,
    ::testing::Values(StartCase {"NoFileYet", std::nullopt, u"共抓取0网址"_s, u"抓取第0个网址"_s},
                      StartCase {"EmptyLinesCount", QByteArray("a\r\n\r\nb\r\nc"), u"共抓取4网址"_s,
                                 u"抓取第4个网址"_s},
                      StartCase {"FortyThousandLines",
                                 QByteArray("http://127.0.0.1/\r\n").repeated(40000),
                                 u"共抓取40000网址"_s, u"抓取第40000个网址"_s}),
    [](const auto &row) { return std::string(row.param.name); });

TEST_F(WindowTest, StartUpThatCannotCreateTheListEndsWithoutAWindow)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(u"抓关键字网址.txt"_s));
    bool anyWindowShown = false;
    BoxAnswerer answerer([&](const BoxAnswerer::Box &) {
        for (QWidget *top : QApplication::topLevelWidgets())
            anyWindowShown |= qobject_cast<Form1 *>(top) && top->isVisible();
    });
    EXPECT_NE(runLexhaul(m_dir.path(), Utf8), 0);
    ASSERT_EQ(answerer.boxes().size(), 1);
    EXPECT_EQ(answerer.boxes().at(0).title, u"Lexhaul");
    EXPECT_TRUE(answerer.boxes().at(0).text.contains(urlListPath()));
    EXPECT_FALSE(anyWindowShown);
}

TEST_F(WindowTest, ExitButtonCompactsTwiceAndCloseButtonOnce)
{
    {
        auto form = openWindow("A\r\nB\r\n\r\n");
        QTest::mouseClick(form->Command3, Qt::LeftButton);
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(readBytes(urlListPath()), QByteArray("A\r\nB"));
    }
    {
        auto form = openWindow("A\r\nB\r\n\r\n");
        form->close(); // what the title bar's close button does
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(readBytes(urlListPath()), QByteArray("A\r\nB\r\n"));
        form->close(); // a second request does not unload again
        EXPECT_EQ(readBytes(urlListPath()), QByteArray("A\r\nB\r\n"));
    }
}

TEST_F(WindowTest, ShutdownWithTheListGoneReportsAndCreatesNothing)
{
    auto form = openWindow("A\r\n");
    ASSERT_TRUE(QFile::remove(urlListPath()));
    BoxAnswerer answerer;
    form->close();
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(answerer.boxes().size(), 1);
    EXPECT_TRUE(answerer.boxes().at(0).text.contains(urlListPath()));
    EXPECT_FALSE(QFileInfo::exists(urlListPath()));
    EXPECT_NE(form->exitStatus(), 0);
}

TEST_F(WindowTest, TerminationSignalsCloseTheWindowTheOrdinaryWay)
{
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        auto form = openWindow("A\r\nB\r\n\r\n");
        closeOnShutdownRequests(*form);
        ::raise(signalNumber);
        EXPECT_TRUE(waitUntil([&] { return !form->isVisible(); })) << signalNumber;
        EXPECT_EQ(readBytes(urlListPath()), QByteArray("A\r\nB\r\n")) << signalNumber;
    }
}
