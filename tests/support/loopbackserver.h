#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

// A tiny HTTP/1.1 server on 127.0.0.1 for tests that load pages into the engine.
//
//     LoopbackServer server;
//     server.serve(u"/a.html"_s, bytes, "text/html; charset=gbk");
//     pane.navigate(server.url(u"/a.html"_s).toString());
//
// It listens on a random free port from construction to destruction and answers from its
// own thread, so pages keep loading while the test's (or the program's) UI thread is
// blocked. Paths that were not registered get 404 with an empty body. Every response closes
// its connection. All member functions are thread-safe.
class LoopbackServer
{
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    // Registers (or replaces) the answer to requests for `path` (HEAD gets it without the
    // body). The path is matched without the query. The answer is held back `delayMs`
    // milliseconds (a slow server).
    void serve(const QString &path, const QByteArray &body,
               const QByteArray &contentType = "text/html; charset=utf-8", int delayMs = 0);

    quint16 port() const;
    // http://127.0.0.1:<port><path>; `path` may carry a query.
    QUrl url(const QString &path) const;

    // Request targets (path and query, as sent) in the order they arrived.
    QStringList requests() const;
    void clearRequests();

private:
    class Worker;
    std::unique_ptr<Worker> m_worker;
};
