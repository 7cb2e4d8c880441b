#pragma once
#include <QObject>
#include <memory>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the thread that made this
// object, through a pipe the signal handler writes to (the only thing a
// handler may safely do). The previous handlers come back on destruction.
// One instance at a time.
class CTerminationSignals : public QObject
{
    Q_OBJECT
public:
    CTerminationSignals();
    ~CTerminationSignals() override;

signals:
    void Received(int signalNumber);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};
