#pragma once

#include <QFileInfo>
#include <QProcess>
#include <QThread>

// A real X server (Xvfb) of the test's own, and optionally Debian's trayer
// as the system tray on it.
class XSession {
public:
    ~XSession() {
        stopTray();
        stopProcess(m_xvfb);
    }

    bool start() {
        for (int number = 90; number < 200; ++number) {
            if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) ||
                QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
                continue;
            m_display = QStringLiteral(":%1").arg(number);
            m_xvfb.start(QStringLiteral("Xvfb"),
                         {m_display, QStringLiteral("-screen"), QStringLiteral("0"),
                          QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                          QStringLiteral("tcp")});
            if (!m_xvfb.waitForStarted())
                return false;
            for (int i = 0; i < 100; ++i) {
                if (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
                    return true;
                if (m_xvfb.state() != QProcess::Running)
                    break;
                QThread::msleep(50);
            }
            stopProcess(m_xvfb);
        }
        return false;
    }

    bool startTray() {
        m_trayer.setProcessEnvironment(environment());
        m_trayer.start(QStringLiteral("trayer"),
                       {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                        QStringLiteral("right"), QStringLiteral("--widthtype"),
                        QStringLiteral("request"), QStringLiteral("--height"),
                        QStringLiteral("24")});
        return m_trayer.waitForStarted();
    }

    void stopTray() { stopProcess(m_trayer); }

    QString display() const { return m_display; }

    // The windows the tray holds: the icons embedded in it.
    int TrayIconCount() const {
        const QString tree = WindowInfo({QStringLiteral("-root"), QStringLiteral("-tree")});
        if (qEnvironmentVariableIsSet("POCKETLANE_SHOW_X_TREE"))
            qInfo().noquote() << tree;
        return TrayIconsIn(tree);
    }

    // Whether a window with that title is mapped and viewable.
    bool IsWindowViewable(const QString& title) const {
        return WindowInfo({QStringLiteral("-name"), title})
            .contains(QStringLiteral("Map State: IsViewable"));
    }

    // What xwininfo tells with the arguments.
    QString WindowInfo(const QStringList& arguments) const {
        QProcess info;
        info.setProcessEnvironment(environment());
        info.start(QStringLiteral("xwininfo"), arguments);
        info.waitForFinished();
        return QString::fromLocal8Bit(info.readAllStandardOutput());
    }

    // Counts the icon windows that trayer has taken in: each one shows up in
    // the window tree below trayer's panel, named after the test program.
    static int TrayIconsIn(const QString& tree) {
        int count = 0;
        bool insideTray = false;
        int trayIndent = 0;
        const QStringList lines = tree.split(u'\n');
        for (const QString& line : lines) {
            const int indent = int(line.size() - line.trimmed().size());
            if (line.contains(QStringLiteral("\"trayer\""))) {
                insideTray = true;
                trayIndent = indent;
                continue;
            }
            if (insideTray && indent <= trayIndent && !line.trimmed().isEmpty())
                insideTray = false;
            if (insideTray && line.contains(QStringLiteral("tst_systray")))
                ++count;
        }
        return count;
    }

    // The environment of a program that is to use this X server.
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        return env;
    }

private:
    static void stopProcess(QProcess& process) {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished();
    }

    QString m_display;
    QProcess m_xvfb;
    QProcess m_trayer;
};
