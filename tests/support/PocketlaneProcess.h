#pragma once

#include "support/TestSupport.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The real built program, started for a test: `pocketlane --headless
// --offline --port <free port> --gateway-address 127.x.y.z` (so that it
// sends nothing beyond loopback) with a private runtime
// and configuration folder, so that tests running in parallel and the single-instance lock don't
// collide.
class PocketlaneProcess {
public:
    PocketlaneProcess() { m_process.setProcessEnvironment(Environment()); }
    ~PocketlaneProcess() { Stop(); }

    // Starts the program and waits until it listens. False (with the
    // reason in StandardError) when it ended or did not listen in time.
    bool Start(const QStringList& extraArguments = {});
    // Starts `wrapper` (`ip netns exec <name>`, say) with the program and
    // exactly these arguments, and returns without waiting.
    void Launch(const QStringList& arguments, const QStringList& wrapper = {});
    // Ends the program with SIGTERM and returns its exit code (-1 when it
    // crashed or did not end in time).
    int Stop();

    quint16 Port() const { return m_port; }
    QProcess& Process() { return m_process; }
    // The environment the program runs with (private XDG folders).
    QProcessEnvironment Environment() const;
    // What the program wrote to stderr, and to stdout, so far.
    QByteArray StandardError();
    QByteArray StandardOutput();

    // What a run of the program to its end gave.
    struct Run {
        int exitCode = -1; // -1 when it crashed or did not end in time
        QByteArray out;
        QByteArray err;
    };
    // Runs the program with the arguments (an administration command, say)
    // and waits for its end; the test's event loop runs meanwhile.
    static Run RunToEnd(const QStringList& arguments, const QProcessEnvironment& environment,
                        const QStringList& wrapper = {});

    // A TCP port on loopback that nothing listens on right now.
    static quint16 FreePort() { return TestSupport::freeLoopbackTcpPort(); }
    // Whether some socket of this machine listens on the TCP port.
    static bool IsListening(quint16 port) { return TestSupport::listensOn(port); }

private:
    QTemporaryDir m_home;
    QProcess m_process;
    quint16 m_port = 0;
    QByteArray m_stderr;
    QByteArray m_stdout;
};
