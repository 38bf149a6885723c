#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// One helper daemon that a test starts (a web server, a gateway box): it runs
// in a process group of its own, gets SIGTERM when the test process dies, and
// is stopped with SIGTERM (then SIGKILL) however the test ends. Its standard
// output and error go to a file so that a chatty daemon never blocks on a
// full pipe.
class ServiceProcess {
public:
    ~ServiceProcess() { stop(); }

    // Starts the program; false with errorString() when it could not run.
    bool start(const QString& program, const QStringList& arguments, const QString& outputFile,
               const QStringList& extraEnvironment = {});
    // SIGTERM to the whole process group, SIGKILL after gracePeriodMs.
    void stop(int gracePeriodMs = 10000);

    bool isRunning();
    qint64 pid() const { return m_pid; }
    QString errorString() const { return m_error; }
    // How the process ended, for failure messages ("exited with 3", "killed by signal 9").
    QString exitDescription();

private:
    QProcess m_process;
    qint64 m_pid = 0;
    QString m_error;
};
