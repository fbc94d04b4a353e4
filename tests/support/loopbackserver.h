#pragma once

#include <QHash>
#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>

// A tiny HTTP server for tests that load pages into the engine. It listens on 127.0.0.1 only,
// on a free port, so nothing but this machine reaches it, and it answers from its own thread,
// so pages keep loading while the test's (or the program's) UI thread is blocked. Every answer
// closes its connection; a path that was not served gets 404. An answer may be held back for a
// while, as a slow server's is.
class LoopbackServer
{
public:
    LoopbackServer()
    {
        m_server->moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            m_server, [this] { listen(); }, Qt::BlockingQueuedConnection);
    }
    ~LoopbackServer()
    {
        m_server->deleteLater(); // run by its thread as it finishes, with the sockets
        m_thread.quit();
        m_thread.wait();
    }

    // The answer to requests for `path`, which is matched without the query. Thread-safe.
    void serve(const QString &path, const QByteArray &body,
               const QByteArray &contentType = "text/html; charset=utf-8", int delayMs = 0,
               const char *status = "200 OK")
    {
        const QMutexLocker lock(&m_mutex);
        m_answers.insert(path,
                         {"HTTP/1.1 " + QByteArray(status) + "\r\nContent-Type: " + contentType
                              + "\r\nContent-Length: " + QByteArray::number(body.size())
                              + "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body,
                          delayMs});
    }
    // How many requests for `path` came in so far. Thread-safe.
    int requests(const QString &path) const
    {
        const QMutexLocker lock(&m_mutex);
        return m_requests.value(path);
    }
    // http://127.0.0.1:<port><path>; `path` may carry a query.
    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
    }

private:
    void listen()
    {
        if (!m_server->listen(QHostAddress::LocalHost))
            qFatal("LoopbackServer: %s", qPrintable(m_server->errorString()));
        m_port = m_server->serverPort();
        QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] {
            while (QTcpSocket *socket = m_server->nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QIODevice::readyRead, socket,
                                 [=, this] { answer(socket); });
            }
        });
    }

    // Answers once the request's head is in: the engine sends GET requests without a body.
    void answer(QTcpSocket *socket)
    {
        const QByteArray head = socket->peek(64 * 1024);
        if (socket->state() != QAbstractSocket::ConnectedState || !head.contains("\r\n\r\n"))
            return;
        socket->read(head.indexOf("\r\n\r\n") + 4); // answered once
        const QString path
            = QString::fromLatin1(head.first(head.indexOf("\r\n")).split(' ').value(1))
                  .section(u'?', 0, 0);
        const QMutexLocker lock(&m_mutex);
        ++m_requests[path];
        const auto [bytes, delayMs] = m_answers.value(
            path, {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", 0});
        QTimer::singleShot(delayMs, socket, [socket, bytes] {
            socket->write(bytes);
            socket->disconnectFromHost();
        });
    }

    QThread m_thread;
    QTcpServer *m_server = new QTcpServer; // lives in m_thread
    quint16 m_port = 0;
    mutable QMutex m_mutex;
    QHash<QString, std::pair<QByteArray, int>> m_answers; // by path: the answer, its delay
    QHash<QString, int> m_requests; // by path
};

// A page's script that adds a link with each of these texts: one as the page is parsed, one in
// the first animation frame after the page has loaded and one 400 ms after it has loaded.
inline QByteArray addedLinks(const char *parsed, const char *frame, const char *timer)
{
    return QByteArray("<script>const add = (text) => { const a = document.createElement('a'); "
                      "a.href = '/added/' + document.links.length; a.textContent = text; "
                      "document.body.append(a); };\nadd('")
        + parsed + "');\nonload = () => { requestAnimationFrame(() => add('" + frame
        + "')); setTimeout(() => add('" + timer + "'), 400); };</script>";
}
