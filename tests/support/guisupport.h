#pragma once

#include <QStringList>
#include <QTimer>
#include <QWebEngineUrlRequestInterceptor>

#include <functional>

// Lets requests to 127.0.0.1 (and schemes that touch no network) through and blocks
// everything else, so no test ever sends the engine to another address.
struct LoopbackOnly : QWebEngineUrlRequestInterceptor
{
    void interceptRequest(QWebEngineUrlRequestInfo &info) override;

    // Installed once on the default profile, which every pane in a test uses.
    static void install();
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

    explicit BoxAnswerer(std::function<void(const Box &)> whileOpen = {});

    const QList<Box> &boxes() const { return m_boxes; }
    QStringList texts() const;

private:
    void poll();

    QTimer m_timer;
    std::function<void(const Box &)> m_whileOpen;
    QList<Box> m_boxes;
};
