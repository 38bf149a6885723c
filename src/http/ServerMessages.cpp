#include "http/ServerMessages.h"

#include <QCoreApplication>

QString ServerMessages::PortInUse(quint16 port) {
    return QStringLiteral("The port %1 is already in use on this machine.").arg(port);
}

QString ServerMessages::PortNotAllowed(quint16 port) {
    return QStringLiteral("Pocketlane is not allowed to listen on port %1: ports below 1024 need "
                          "administrator rights. Run Pocketlane as root, allow it the port with "
                          "setcap cap_net_bind_service=+ep, or serve on another port, for "
                          "example with --port 8080.")
        .arg(port);
}

QString ServerMessages::PortNotOpened(quint16 port, const QString& reason) {
    return QStringLiteral("The port ") + QString::number(port) +
           QStringLiteral(" could not be opened: ") + reason;
}

QString ServerMessages::ServingOnFallbackPort(quint16 denied, quint16 served) {
    return QStringLiteral("Port %1 is not allowed for this user, so Pocketlane serves on port %2 "
                          "instead (the router is asked to forward its port 80 here). To serve "
                          "on port %1, allow it with: sudo setcap cap_net_bind_service=+ep %3")
        .arg(denied)
        .arg(served)
        .arg(QCoreApplication::applicationFilePath());
}

QString ServerMessages::SocketFailure(int index, const QString& description) {
    return QStringLiteral("Socket: ") + QString::number(index) +
           QStringLiteral("  Reported Error:") + description;
}

QString ServerMessages::NoElementFree(int limit) {
    return QStringLiteral("No connection element is free (the limit is ") + QString::number(limit) +
           u')';
}

QString ServerMessages::NotAccepted() {
    return QStringLiteral("The connection could not be accepted");
}

QString ServerMessages::StalledDownloadDropped(int index) {
    return QStringLiteral("A stalled download on Socket ") + QString::number(index) +
           QStringLiteral(" gave its slot to another visitor");
}

QString ServerMessages::FileEndedEarly() {
    return QStringLiteral("The file ended before its announced length");
}
