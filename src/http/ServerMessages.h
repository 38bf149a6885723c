#pragma once

#include <QString>

// The texts the network front shows its owner when something fails: in the
// status log, on the Modules panel and on stderr.
class ServerMessages {
public:
    static QString PortInUse(quint16 port);
    static QString PortNotAllowed(quint16 port);
    static QString PortNotOpened(quint16 port, const QString& reason);
    // Why the served port is not the one asked for.
    static QString ServingOnFallbackPort(quint16 denied, quint16 served);
    static QString SocketFailure(int index, const QString& description);
    static QString NoElementFree(int limit);
    static QString NotAccepted();
    static QString StalledDownloadDropped(int index);
    static QString FileEndedEarly();
};
