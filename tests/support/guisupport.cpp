#include "support/guisupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>

using namespace Qt::StringLiterals;

void allowLoopbackOnly()
{
    struct LoopbackOnly : QWebEngineUrlRequestInterceptor
    {
        void interceptRequest(QWebEngineUrlRequestInfo &info) override
        {
            const QUrl url = info.requestUrl();
            info.block(url.host() != u"127.0.0.1"_s
                       && !QStringList {u"data"_s, u"about"_s, u"blob"_s}.contains(url.scheme()));
        }
    };
    static auto *const instance = new LoopbackOnly;
    QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(instance);
}

BoxAnswerer::BoxAnswerer()
{
    connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::poll);
    m_timer.start(10);
}

void BoxAnswerer::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    m_timer.stop(); // not re-entered while this box is handled
    m_captions.append(box->windowTitle());
    m_texts.append(box->text());
    QAbstractButton *ok = box->button(QMessageBox::Ok);
    m_buttons.append(ok ? ok->text() : QString());
    ok ? ok->click() : void(box->close());
    m_timer.start(10);
}
