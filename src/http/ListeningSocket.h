#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <QString>

#include <functional>

class QSocketNotifier;

// The local port of a TCP socket descriptor; 0 when it has none.
quint16 LocalPortOf(int descriptor);

// A listening TCP socket on every address of the PC, on the system's socket
// calls so that a failed accept is seen: when no descriptor is left,
// accepting pauses until ResumeAccepting instead of retrying at once in a
// busy loop. Each accepted descriptor (non-blocking, closed on exec) goes to
// onConnection, which owns it.
class ListeningSocket : public QObject {
public:
    ListeningSocket(std::function<void(qintptr)> onConnection,
                    std::function<void()> onAcceptFailure, QObject* parent);
    ~ListeningSocket() override;

    // Listens on the port (0: one the system chooses); false with Error and
    // ErrorString set when the port cannot be taken.
    bool Listen(quint16 port);
    void Close();
    quint16 Port() const;
    void ResumeAccepting();
    QAbstractSocket::SocketError Error() const { return m_error; }
    QString ErrorString() const { return m_errorString; }

private:
    bool openSocket();
    bool bindAnyAddress(quint16 port);
    void fail(QAbstractSocket::SocketError error, int systemError);
    void acceptWaitingConnection();

    std::function<void(qintptr)> m_onConnection;
    std::function<void()> m_onAcceptFailure;
    int m_fd = -1;
    int m_family = 0;
    QSocketNotifier* m_notifier = nullptr;
    QAbstractSocket::SocketError m_error = QAbstractSocket::UnknownSocketError;
    QString m_errorString;
};
