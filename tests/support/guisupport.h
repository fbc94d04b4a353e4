#pragma once

#include <QStringList>
#include <QTimer>

// Lets the default profile, which every pane in a test uses, request 127.0.0.1 (and schemes
// that touch no network) only, so no test ever sends the engine to another address.
void allowLoopbackOnly();

// Answers the modal message boxes that open while it lives, as a user would press OK,
// recording each box's caption, text and the button it pressed.
class BoxAnswerer : public QObject
{
    Q_OBJECT

public:
    BoxAnswerer();

    const QStringList &captions() const { return m_captions; }
    const QStringList &texts() const { return m_texts; }
    const QStringList &buttons() const { return m_buttons; }

private:
    void poll();

    QTimer m_timer;
    QStringList m_captions;
    QStringList m_texts;
    QStringList m_buttons;
};
