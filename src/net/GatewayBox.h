#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

class StatusLog;

// One Kannel box (bearerbox or wapbox) run as a child process. Its console
// lines go to the status log, its error and panic lines at level 1 and the
// others at level 3. It runs in a process group of its own (a Ctrl-C in the
// terminal reaches the program, which stops it in order) and gets SIGTERM
// when the program dies without stopping it.
class GatewayBox : public QObject {
    Q_OBJECT
public:
    // A console line longer than this is logged in pieces.
    static constexpr qsizetype MaxLineBytes = 1024;
    static constexpr int StopGraceMs = 5000;

    GatewayBox(StatusLog& log, QString program, QObject* parent = nullptr);
    ~GatewayBox() override;

    QString Name() const { return m_name; }
    bool IsRunning() const { return m_process.state() != QProcess::NotRunning; }
    // Milliseconds since the last start.
    qint64 RunningMs() const { return m_started.isValid() ? m_started.elapsed() : 0; }

    void Start(const QString& configFile);
    // SIGTERM now, SIGKILL if it lingers; Ended follows without `unasked`.
    void Stop();
    // The same, waiting for the end (the program is closing).
    void StopAndWait();

Q_SIGNALS:
    // One console line, as the box wrote it.
    void LineRead(const QByteArray& line);
    // The box ended: by itself (`unasked`) or because it was stopped.
    void Ended(bool unasked, const QString& how);

private:
    void readLines();
    void logLine(const QByteArray& line);
    void onFinished(int exitCode, QProcess::ExitStatus status);

    StatusLog& m_log;
    QString m_program;
    QString m_name;
    QProcess m_process;
    QTimer m_kill;
    QElapsedTimer m_started;
    bool m_stopAsked = false;
};
