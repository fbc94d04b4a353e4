#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP (Ctrl+C in the terminal, a kill, a logout) into a Qt
// signal on the user-interface thread, so that they close the window the ordinary way.
// One instance at a time: the signal handler can only reach a process-wide pipe.
class ShutdownSignals : public QObject
{
    Q_OBJECT

public:
    explicit ShutdownSignals(QObject *parent = nullptr);
    ~ShutdownSignals() override;

Q_SIGNALS:
    void received(int signalNumber);

private:
    QSocketNotifier *m_notifier = nullptr;
};
