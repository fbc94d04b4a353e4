#include "support/loopbackserver.h"

#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

struct Route
{
    QByteArray body;
    QByteArray contentType;
    int delayMs = 0;
};

QByteArray statusText(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    default:
        return "Bad Request";
    }
}

} // namespace

// Owns the server thread. The QTcpServer and its sockets live in that thread; the route
// table and the log are shared with callers under the mutex.
class LoopbackServer::Worker
{
public:
    Worker()
    {
        m_context.moveToThread(&m_thread);
        m_thread.setObjectName(u"LoopbackServer"_s);
        m_thread.start();
        QMetaObject::invokeMethod(
            &m_context, [this] { listen(); }, Qt::BlockingQueuedConnection);
    }

    ~Worker()
    {
        // Sockets still open are the server's children and go with it.
        QThread *owner = QThread::currentThread();
        QMetaObject::invokeMethod(
            &m_context,
            [this, owner] {
                delete m_server;
                m_context.moveToThread(owner);
            },
            Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    void listen()
    {
        m_server = new QTcpServer;
        if (!m_server->listen(QHostAddress::LocalHost, 0))
            qFatal("LoopbackServer: cannot listen on 127.0.0.1: %s",
                   qPrintable(m_server->errorString()));
        m_port = m_server->serverPort();
        QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] {
            while (QTcpSocket *socket = m_server->nextPendingConnection())
                accept(socket);
        });
    }

    void accept(QTcpSocket *socket)
    {
        socket->setParent(m_server);
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
    }

    // Waits for the whole head (and body, if announced), then answers once.
    void read(QTcpSocket *socket)
    {
        if (socket->property("answered").toBool()) {
            socket->readAll();
            return;
        }
        QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
        socket->setProperty("buffer", buffer);
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            if (buffer.size() > 64 * 1024)
                answer(socket, 400, {}, {}, 0, false);
            return;
        }
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        qsizetype contentLength = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            if (line.toLower().startsWith("content-length:"))
                contentLength = line.mid(15).trimmed().toLongLong();
        }
        if (buffer.size() < headEnd + 4 + contentLength)
            return;
        socket->setProperty("answered", true);
        socket->setProperty("buffer", QVariant());

        if (requestLine.size() != 3) {
            answer(socket, 400, {}, {}, 0, false);
            return;
        }
        const QByteArray method = requestLine.at(0);
        const QString target = QString::fromLatin1(requestLine.at(1));
        const QString path = target.section(u'?', 0, 0);
        Route route;
        bool found = false;
        {
            QMutexLocker lock(&m_mutex);
            m_log.append(target);
            const auto it = m_routes.constFind(path);
            if (it != m_routes.cend()) {
                route = *it;
                found = true;
            }
        }
        const bool head = method == "HEAD";
        if (!found)
            answer(socket, 404, {}, {}, 0, head);
        else
            answer(socket, 200, route.body, route.contentType, route.delayMs, head);
    }

    void answer(QTcpSocket *socket, int status, const QByteArray &body,
                const QByteArray &contentType, int delayMs, bool headOnly)
    {
        QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + statusText(status)
            + "\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\nCache-Control: no-store\r\nConnection: close\r\n";
        if (!contentType.isEmpty())
            response += "Content-Type: " + contentType + "\r\n";
        response += "\r\n";
        if (!headOnly)
            response += body;
        const QPointer<QTcpSocket> guarded(socket);
        auto send = [guarded, response] {
            if (!guarded)
                return;
            guarded->write(response);
            guarded->disconnectFromHost();
        };
        if (delayMs > 0)
            QTimer::singleShot(delayMs, socket, send);
        else
            send();
    }

    QThread m_thread;
    QObject m_context;
    QTcpServer *m_server = nullptr;
    quint16 m_port = 0;

    mutable QMutex m_mutex;
    QHash<QString, Route> m_routes;
    QStringList m_log;
};

LoopbackServer::LoopbackServer()
    : m_worker(std::make_unique<Worker>())
{
}

LoopbackServer::~LoopbackServer() = default;

void LoopbackServer::serve(const QString &path, const QByteArray &body,
                           const QByteArray &contentType, int delayMs)
{
    QMutexLocker lock(&m_worker->m_mutex);
    m_worker->m_routes.insert(path, Route {body, contentType, delayMs});
}

quint16 LoopbackServer::port() const
{
    return m_worker->m_port;
}

QUrl LoopbackServer::url(const QString &path) const
{
    return QUrl(u"http://127.0.0.1:%1%2"_s.arg(QString::number(m_worker->m_port), path));
}

QStringList LoopbackServer::requests() const
{
    QMutexLocker lock(&m_worker->m_mutex);
    return m_worker->m_log;
}

void LoopbackServer::clearRequests()
{
    QMutexLocker lock(&m_worker->m_mutex);
    m_worker->m_log.clear();
}
