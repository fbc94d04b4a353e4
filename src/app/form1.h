#pragma once

#include "crawl/crawl.h"
#include "crawl/crawlcycle.h"

#include <QWidget>

#include <vector>

class BrowserPane;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;

// The program's one window. It owns every control, both timers, the browser and the crawl
// for the program's whole life; the program ends when it closes. Controls keep the
// numbered names users and documentation know them by.
class Form1 : public QWidget, private CrawlWindow
{
    Q_OBJECT

public:
    // `directory` holds the URL list file and the keyword file; `encoding` is the one they
    // are read and written in.
    Form1(const QString &directory, const TextEncoding &encoding,
          const CrawlPacing &pacing = RealCrawlPacing, const CrawlOptions &options = {},
          QWidget *parent = nullptr);
    ~Form1() override;

    // Runs before the window is first shown. Throws FileError when the URL list file can be
    // neither found nor created, or cannot be read; a filter file that cannot be read, and list
    // rules that cannot be used, are only reported.
    void Form_Load();
    // Runs once whenever the window closes, however it is closed; never refuses.
    void Form_Unload();

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void List1_DblClick();
    void Text1_Change();
    void quchongzi();

    CrawlTimer &Timer1() { return m_cycle.timer1(); }
    CrawlTimer &Timer2() { return m_cycle.timer2(); }
    Crawl &crawl() { return m_crawl; }

    // Non-zero when a failure at shutdown should end the program with an error status.
    int exitStatus() const { return m_exitStatus; }

    QPushButton *Command4;
    QPushButton *Command3;
    QPushButton *Command2;
    QPushButton *Command1;
    QCheckBox *Check1; // 只取榜单
    QCheckBox *Check2; // 只导出新词
    // Created while the start-up message is on screen (see Form_Load).
    BrowserPane *WebBrowser1 = nullptr;
    QGroupBox *Frame1;
    QListView *List1;
    QLineEdit *Text1;
    QLabel *Label3;
    QLabel *Label2;
    QLabel *Label1;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // CrawlWindow
    QString addressText() const override;
    void setAddressText(const QString &text) override;
    void setProgressCaption(const QString &caption) override;
    void showMessage(const QString &text) override;
    void showFailure(const FileError &error) override;
    bool isClosed() const override;
    void collectLinks(const CollectionRequest &request, int timeoutMs,
                      const LinksAnswer &answer) override;
    void cancelCollection() override;
    PageLoad pageLoad() const override;

    // How a control follows the window when it is larger than its stored size.
    enum Anchor { Fixed = 0, GrowWidth = 1, GrowHeight = 2, FollowBottom = 4 };
    struct Placement
    {
        QWidget *control;
        QRect stored;
        int anchors;
    };

    qsizetype selectedIndex() const;
    void createControls();
    void createBrowser();
    void checkListRules();
    void place(QWidget *control, const QRect &stored, int anchors);
    void placeControl(const Placement &placement);

    std::vector<Placement> m_placements;

    Crawl m_crawl;
    CrawlCycle m_cycle;
    bool m_unloaded = false;
    bool m_closed = false;
    bool m_exitFailed = false;
    int m_exitStatus = 0;
};
