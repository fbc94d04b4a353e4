#include "app/form1.h"

#include "app/handlerboundary.h"
#include "app/program.h"
#include "crawl/progresstext.h"
#include "harvest/browserpane.h"
#include "output/listediting.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTimer>

namespace {

// Control positions are kept in twips, 15 to a pixel.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

// The client size every control's stored place is measured for; the window never gets
// smaller than this.
constexpr QSize StoredSize(556, 312);

QPushButton *makeButton(const char *name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    // Enter and Esc press no button.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QLabel *makeLabel(const char *name, const QString &caption, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

} // namespace

Form1::Form1(const QString &directory, const TextEncoding &encoding, const CrawlPacing &pacing,
             const CrawlOptions &options, QWidget *parent)
    : QWidget(parent)
    , m_crawl(directory, encoding, options)
    , m_cycle(m_crawl, *this, pacing)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Lexhaul获取工具1.0       "));
    // Resizable from the stored size up, so a long keyword list can be seen.
    setMinimumSize(StoredSize);
    resize(StoredSize);
    createControls();
}

Form1::~Form1() = default;

void Form1::createControls()
{
    // Created in this order; tab order follows below.
    // The buttons keep their row at the same distance from the bottom edge; the frame takes
    // every pixel the window has beyond its stored size, and within it the list does.
    Command4 = makeButton("Command4", QStringLiteral("删除空行"), this);
    place(Command4, twips(4320, 3840, 1455, 375), FollowBottom);
    Command3 = makeButton("Command3", QStringLiteral("退出"), this);
    place(Command3, twips(6000, 3840, 1815, 375), FollowBottom);
    Command2 = makeButton("Command2", QStringLiteral("生成文本"), this);
    place(Command2, twips(2280, 3840, 1695, 375), FollowBottom);
    Command1 = makeButton("Command1", QStringLiteral("获取"), this);
    place(Command1, twips(240, 3840, 1695, 375), FollowBottom);

    Frame1 = new QGroupBox(QStringLiteral("取得关键字地址"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    place(Frame1, twips(120, 240, 7455, 3375), GrowWidth | GrowHeight);
    Frame1->setFocusPolicy(Qt::NoFocus);

    List1 = new QListView(Frame1);
    List1->setObjectName(QStringLiteral("List1"));
    place(List1, twips(120, 1440, 6615, 1680), GrowWidth | GrowHeight);
    List1->setModel(&m_crawl.keywords());
    // A million keywords must scroll as smoothly as ten.
    List1->setUniformItemSizes(true);
    List1->setLayoutMode(QListView::Batched);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->viewport()->installEventFilter(this);

    Text1 = new QLineEdit(Frame1);
    Text1->setObjectName(QStringLiteral("Text1"));
    place(Text1, twips(120, 240, 6615, 495), GrowWidth);

    Label3 = makeLabel("Label3", QStringLiteral("Label3"), Frame1);
    place(Label3, twips(4440, 960, 1455, 495), Fixed);
    Label2 = makeLabel("Label2", QString(), Frame1);
    place(Label2, twips(2160, 1080, 2055, 375), Fixed);
    Label1 = makeLabel("Label1", QStringLiteral("获取内容"), Frame1);
    place(Label1, twips(120, 1080, 1215, 375), Fixed);

    // The options, beside the progress captions; unticked unless the command line ticked them.
    Check1 = new QCheckBox(QStringLiteral("只取榜单"), Frame1);
    Check1->setObjectName(QStringLiteral("Check1"));
    place(Check1, QRect(400, 52, 92, 20), Fixed);
    Check1->setChecked(m_crawl.options().listsOnly);
    connect(Check1, &QCheckBox::toggled, this, [this](bool on) { m_crawl.setListsOnly(on); });
    Check2 = new QCheckBox(QStringLiteral("只导出新词"), Frame1);
    Check2->setObjectName(QStringLiteral("Check2"));
    place(Check2, QRect(400, 74, 92, 20), Fixed);
    Check2->setChecked(m_crawl.options().newOnly);
    connect(Check2, &QCheckBox::toggled, this, [this](bool on) { m_crawl.setNewOnly(on); });

    Text1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
}

void Form1::createBrowser()
{
    if (WebBrowser1)
        return;
    // Placed on the bottom edge of the client area at every size: not hidden, it loads pages
    // like a visible browser at a desktop browser's size, but the user never sees it.
    WebBrowser1 = new BrowserPane(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    place(WebBrowser1, BrowserPane::outOfView(StoredSize), FollowBottom);

    const QList<QWidget *> tabOrder {Text1,    WebBrowser1, Check1,   Check2,  List1,
                                     Command1, Command2,    Command3, Command4};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));
}

void Form1::place(QWidget *control, const QRect &stored, int anchors)
{
    m_placements.push_back({control, stored, anchors});
    placeControl(m_placements.back());
}

void Form1::placeControl(const Placement &placement)
{
    const QSize grown = size() - StoredSize;
    QRect geometry = placement.stored;
    if (placement.anchors & GrowWidth)
        geometry.setWidth(geometry.width() + grown.width());
    if (placement.anchors & GrowHeight)
        geometry.setHeight(geometry.height() + grown.height());
    if (placement.anchors & FollowBottom)
        geometry.moveTop(geometry.top() + grown.height());
    placement.control->setGeometry(geometry);
}

void Form1::resizeEvent(QResizeEvent *event)
{
    for (const Placement &placement : m_placements)
        placeControl(placement);
    QWidget::resizeEvent(event);
}

void Form1::Form_Load()
{
    m_crawl.start();
    if (!m_crawl.ownFilters().error.isEmpty())
        showMessageBox(nullptr, m_crawl.ownFilters().error, QMessageBox::Critical);
    // The crawl goes on without it; an export of new keywords says so again.
    if (m_crawl.historyError())
        showMessageBox(nullptr, m_crawl.historyError()->message(), QMessageBox::Critical);
    checkListRules();
    if (const QString report = m_crawl.listRules().report(); !report.isEmpty())
        showMessageBox(nullptr, report, QMessageBox::Critical);
    // Starting the browser engine takes a good part of a second: let it start while the user
    // reads the message rather than before the message appears.
    QTimer::singleShot(0, this, &Form1::createBrowser);
    showMessageBox(nullptr,
                   QStringLiteral("共抓取") + QString::number(m_crawl.urlTotal())
                       + QStringLiteral("网址"));
    Label3->setText(ProgressText(m_crawl.urlTotal()));
    createBrowser();
}

void Form1::checkListRules()
{
    if (m_crawl.listRules().rules.isEmpty())
        return;
    // The engine starts before the start-up message then: only it knows its selectors.
    createBrowser();
    ::checkListRules(m_crawl, *WebBrowser1, m_cycle.pacing().collectTimeoutMs);
}

void Form1::showEvent(QShowEvent *event)
{
    createBrowser();
    QWidget::showEvent(event);
}

void Form1::Form_Unload()
{
    // Closing is never refused.
    // A failed Exit button has already reported why the list could not be compacted.
    if (m_exitFailed)
        return;
    if (!runHandler(this, [this] { m_crawl.urlList().CompactUrlList(); }))
        m_exitStatus = 1;
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload();
    }
    // The window goes with its timers; a tick that was pumping when the close came ends
    // without touching anything.
    m_closed = true;
    m_cycle.stop();
    cancelCollection();
    event->accept();
}

void Form1::Command1_Click()
{
    m_cycle.Command1_Click();
}

void Form1::Command2_Click()
{
    m_cycle.stop();
    runHandler(this, [this] { m_crawl.exportList(); });
}

void Form1::Command3_Click()
{
    if (!runHandler(this, [this] { m_crawl.urlList().CompactUrlList(); })) {
        m_exitFailed = true;
        m_exitStatus = 1;
    }
    close();
}

void Form1::Command4_Click()
{
    removeEmptyItems(m_crawl.keywords());
}

void Form1::List1_DblClick()
{
    m_crawl.keywords().removeAt(selectedIndex());
}

void Form1::Text1_Change()
{
    if (WebBrowser1)
        WebBrowser1->navigate(Text1->text());
}

void Form1::quchongzi()
{
    m_cycle.quchongzi();
}

void Form1::collectLinks(const CollectionRequest &request, int timeoutMs, const LinksAnswer &answer)
{
    // No browser yet, no document.
    if (!WebBrowser1) {
        answer({});
        return;
    }
    WebBrowser1->collectLinks(request, timeoutMs, answer);
}

PageLoad Form1::pageLoad() const
{
    return WebBrowser1 ? WebBrowser1->pageLoad() : PageLoad {};
}

void Form1::cancelCollection()
{
    if (WebBrowser1)
        WebBrowser1->cancelCollection();
}

qsizetype Form1::selectedIndex() const
{
    const QModelIndexList selected = List1->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.first().row();
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == List1->viewport() && event->type() == QEvent::MouseButtonDblClick)
        List1_DblClick();
    return QWidget::eventFilter(watched, event);
}

QString Form1::addressText() const
{
    return Text1->text();
}

void Form1::setAddressText(const QString &text)
{
    Text1->setText(text);
}

void Form1::setProgressCaption(const QString &caption)
{
    Label2->setText(caption);
}

void Form1::showMessage(const QString &text)
{
    showMessageBox(this, text);
}

void Form1::showFailure(const FileError &error)
{
    showMessageBox(this, error.message(), QMessageBox::Critical);
}

bool Form1::isClosed() const
{
    return m_closed;
}
