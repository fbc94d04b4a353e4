#include "harvest/unattendedpage.h"

#include <QChildEvent>
#include <QCoreApplication>
#include <QWebEngineSettings>
#include <QWidget>

namespace {

// The question the engine itself asks, through javaScriptConfirm, before it leaves a page
// whose beforeunload handler asks to stay. Nothing else tells it from a page's own confirm():
// the origin is the page's either way. A page that confirm()s these very words gets true,
// which shows nothing either.
QString leaveQuestion()
{
    return QCoreApplication::translate(
        "QWebEnginePage",
        "Are you sure you want to leave this page? Changes that you made may not be saved.");
}

// Watches the children of a view: a child that is a window of its own (the view makes them
// for pickers and choosers) is never shown on screen, and closed as soon as it asked to be.
class OffScreenWindows : public QObject
{
public:
    explicit OffScreenWindows(QWidget *view)
        : QObject(view)
    {
        view->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded) {
            QObject *child = static_cast<QChildEvent *>(event)->child();
            if (child->isWidgetType())
                child->installEventFilter(this);
        } else if (event->type() == QEvent::Show && watched != parent()) {
            auto *widget = static_cast<QWidget *>(watched);
            if (widget->isWindow()) {
                // The show event comes before the window is mapped, and a widget that may not
                // show on screen is never mapped. Not modal either: in Qt 6.4, closing a
                // window-modal dialog that was never mapped crashes the program when the
                // next one is created.
                widget->setAttribute(Qt::WA_DontShowOnScreen);
                widget->setWindowModality(Qt::NonModal);
                QMetaObject::invokeMethod(widget, &QWidget::close, Qt::QueuedConnection);
            }
        }
        return false;
    }
};

} // namespace

UnattendedPage::UnattendedPage(QObject *parent)
    : QWebEnginePage(parent)
    , m_showConsole(qEnvironmentVariableIntValue("LEXHAUL_PAGE_CONSOLE") == 1)
{
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    setAudioMuted(true);
    // Unanswered, a request would leave the page's promise pending for ever.
    connect(this, &QWebEnginePage::featurePermissionRequested, this,
            [this](const QUrl &origin, Feature feature) {
                setFeaturePermission(origin, feature, PermissionDeniedByUser);
            });
}

void UnattendedPage::keepWindowsOffScreen(QWidget *view)
{
    new OffScreenWindows(view);
}

QWebEnginePage *UnattendedPage::createWindow(WebWindowType)
{
    return nullptr;
}

QStringList UnattendedPage::chooseFiles(FileSelectionMode, const QStringList &, const QStringList &)
{
    return {};
}

void UnattendedPage::javaScriptAlert(const QUrl &, const QString &) { }

bool UnattendedPage::javaScriptConfirm(const QUrl &, const QString &msg)
{
    return msg == leaveQuestion();
}

bool UnattendedPage::javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *)
{
    return false;
}

void UnattendedPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                              const QString &message, int lineNumber,
                                              const QString &sourceID)
{
    if (m_showConsole)
        QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
}
