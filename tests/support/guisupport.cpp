#include "support/guisupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QWebEngineProfile>

void LoopbackOnly::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    const QUrl url = info.requestUrl();
    if (url.host() == QStringLiteral("127.0.0.1") || url.scheme() == QStringLiteral("data")
        || url.scheme() == QStringLiteral("about") || url.scheme() == QStringLiteral("blob"))
        return;
    info.block(true);
    QMutexLocker lock(&m_mutex);
    m_blocked.append(url);
}

QList<QUrl> LoopbackOnly::blocked() const
{
    QMutexLocker lock(&m_mutex);
    return m_blocked;
}

LoopbackOnly &LoopbackOnly::install()
{
    static auto *instance = [] {
        auto *interceptor = new LoopbackOnly;
        QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(interceptor);
        return interceptor;
    }();
    return *instance;
}

BoxAnswerer::BoxAnswerer(std::function<void(const Box &)> whileOpen, int delayMs)
    : m_whileOpen(std::move(whileOpen))
    , m_delayMs(delayMs)
{
    connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::poll);
    m_timer.start(10);
}

QStringList BoxAnswerer::texts() const
{
    QStringList texts;
    for (const Box &box : m_boxes)
        texts.append(box.text);
    return texts;
}

void BoxAnswerer::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    m_timer.stop(); // not re-entered while this box is handled
    const Box seen {box->windowTitle(), box->text()};
    m_boxes.append(seen);
    if (m_whileOpen)
        m_whileOpen(seen);
    if (m_delayMs > 0) {
        QDeadlineTimer deadline(m_delayMs);
        while (!deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->close();
    m_timer.start(10);
}
