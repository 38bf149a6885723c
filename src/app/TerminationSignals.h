#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into the Qt signal Requested, delivered on the
// event loop, so that the program ends cleanly (sockets closed, lock freed).
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void Requested(int signalNumber);

private:
    static void onSignal(int signalNumber);
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};
