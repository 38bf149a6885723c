#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QString>

// The local port of a TCP socket descriptor; 0 when it has none.
quint16 LocalPortOf(int descriptor);

// A listening TCP socket on every address of the PC, on the system's socket
// calls so that a failed accept is seen (when no descriptor is left, the
// caller pauses accepting instead of retrying at once in a busy loop).
class ListeningSocket {
public:
    enum class AcceptOutcome { Accepted, NoneWaiting, Failed };
    struct Accepted {
        AcceptOutcome outcome = AcceptOutcome::NoneWaiting;
        int descriptor = -1; // non-blocking, closed on exec; the caller owns it
        // Who is at the other end, as raw address bytes: the 4 of an IPv4
        // address (also one mapped into IPv6), the first 8 of an IPv6
        // address (its /64 network, which one subscriber usually holds
        // whole). Empty when it cannot be told.
        QByteArray client;
    };

    ListeningSocket() = default;
    ~ListeningSocket();
    ListeningSocket(const ListeningSocket&) = delete;
    ListeningSocket& operator=(const ListeningSocket&) = delete;

    // Listens on the port (0: one the system chooses); false with Error and
    // ErrorString set when the port cannot be taken.
    bool Listen(quint16 port);
    void Close();
    int Descriptor() const { return m_fd; }
    quint16 Port() const;
    // Takes one waiting connection; on Failed, ErrorString says why.
    Accepted Accept();
    QAbstractSocket::SocketError Error() const { return m_error; }
    QString ErrorString() const { return m_errorString; }

private:
    bool openSocket();
    bool bindAnyAddress(quint16 port);
    void fail(QAbstractSocket::SocketError error, int systemError);

    int m_fd = -1;
    int m_family = 0;
    QAbstractSocket::SocketError m_error = QAbstractSocket::UnknownSocketError;
    QString m_errorString;
};
