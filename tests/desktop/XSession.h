#pragma once

#include <QtTest>

using namespace Qt::StringLiterals;

// A real X server (Xvfb) of the test's own, and optionally Debian's trayer
// as the system tray on it.
class XSession {
public:
    ~XSession() {
        stopTray();
        m_xvfb.terminate(); // a clean end removes the display's lock file
        m_xvfb.waitForFinished();
    }

    // Xvfb picks a free display itself and writes its number to stdout. An X
    // server resets when its last client leaves and refuses connections
    // meanwhile: the program started right after one of the test's xwininfo
    // calls would find no display, so this one never resets.
    bool start() {
        m_xvfb.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1024x768x24"_s,
                                 u"-nolisten"_s, u"tcp"_s, u"-noreset"_s});
        if (!m_xvfb.waitForReadyRead(30000))
            return false;
        display = u":"_s + QString::fromLatin1(m_xvfb.readLine().trimmed());
        return true;
    }

    bool startTray() {
        m_trayer.start(u"trayer"_s, {u"--edge"_s, u"top"_s, u"--widthtype"_s, u"request"_s});
        return m_trayer.waitForStarted();
    }
    void stopTray() {
        m_trayer.kill();
        m_trayer.waitForFinished();
    }

    QString display; // where the X server is, ":<number>"

    // What xwininfo tells of the windows the arguments name.
    static QString WindowInfo(const QStringList& arguments) {
        QProcess info;
        info.start(u"xwininfo"_s, arguments);
        info.waitForFinished();
        return QString::fromLocal8Bit(info.readAllStandardOutput());
    }
    // The icons that trayer has embedded in its panel: the named windows
    // below it, one line each: `0x... "name": ("name" "class")`.
    static int TrayIconCount() {
        return int(WindowInfo({u"-name"_s, u"panel"_s, u"-tree"_s}).count(u"\": (\""_s));
    }

private:
    QProcess m_xvfb;
    QProcess m_trayer;
};

inline XSession* Session = nullptr;

// Runs the test functions with an X server of their own as the display,
// over plain X11: with no desktop bus, the tray icon goes through the X11
// tray protocol.
template <typename Application, typename Test> int RunOnOwnDisplay(int argc, char* argv[]) {
    XSession session;
    if (!session.start())
        qFatal("Xvfb could not be started");
    Session = &session;
    qputenv("DISPLAY", session.display.toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    Application app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}
