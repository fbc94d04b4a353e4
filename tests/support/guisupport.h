#pragma once

#include <QList>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

#include <functional>

// Lets requests to 127.0.0.1 (and schemes that touch no network) through; blocks and
// records everything else, so no test ever sends the engine to another address.
class LoopbackOnly : public QWebEngineUrlRequestInterceptor
{
public:
    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
    QList<QUrl> blocked() const;

    // Installed once on the default profile, which every pane in a test uses.
    static LoopbackOnly &install();

private:
    mutable QMutex m_mutex;
    QList<QUrl> m_blocked;
};

// Answers the modal message boxes that open while it lives, as a user would press OK,
// recording each box's caption and text. `whileOpen` runs while a box is still on screen.
class BoxAnswerer : public QObject
{
    Q_OBJECT

public:
    struct Box
    {
        QString title;
        QString text;
    };

    explicit BoxAnswerer(std::function<void(const Box &)> whileOpen = {}, int delayMs = 0);

    const QList<Box> &boxes() const { return m_boxes; }
    QStringList texts() const;

private:
    void poll();

    QTimer m_timer;
    std::function<void(const Box &)> m_whileOpen;
    int m_delayMs;
    QList<Box> m_boxes;
};
