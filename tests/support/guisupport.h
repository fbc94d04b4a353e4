#pragma once

#include <QStringList>
#include <QTimer>

// Lets the default profile, which every pane in a test uses, request 127.0.0.1 (and schemes
// that touch no network) only, so no test ever sends the engine to another address.
void allowLoopbackOnly();

// Answers the modal message boxes that open while it lives, as a user would press OK,
// recording each box's text.
class BoxAnswerer : public QObject
{
    Q_OBJECT

public:
    BoxAnswerer();

    const QStringList &texts() const { return m_texts; }

private:
    void poll();

    QTimer m_timer;
    QStringList m_texts;
};
