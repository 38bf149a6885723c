#pragma once

#include "support/ServiceProcess.h"

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A D-Bus daemon of the test's own (dbus-daemon with a configuration in a
// temporary folder, no service activation), so that tests never talk to the
// machine's system or session bus. The daemon stops with the object, or with
// the test process.
class PrivateBus {
public:
    PrivateBus() = default;
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Starts the daemon; false (see errorString()) when it did not come up.
    bool start();
    QString address() const { return m_address; }
    QString errorString() const { return m_error; }

    // A connection of the test process to this bus, under a name of its own.
    QDBusConnection connect(const QString& sName);

    // Points the process's system bus at this daemon, so that code using the
    // system bus by default reaches nothing but this daemon. Must come before
    // anything in the process used the system bus: false when the system bus
    // is not this daemon afterwards.
    bool takeOverSystemBus();

private:
    QTemporaryDir m_dir;
    ServiceProcess m_daemon;
    QString m_address;
    QString m_error;
    QStringList m_connectionNames;
};

// The unique id a bus daemon gives itself, or an empty text when the
// connection does not reach a daemon.
QString BusId(const QDBusConnection& oBus);
