#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>

// What the window keeps of itself from one run to the next, apart from the
// owner's settings: its size and position, the last panel shown, and
// whether the program starts minimized to the notification area. Kept in
// $XDG_CONFIG_HOME/pocketlane/window.conf.
class WindowState {
public:
    explicit WindowState(const QString& sFile = DefaultFile());

    static QString DefaultFile();

    QByteArray geometry() const;
    void setGeometry(const QByteArray& geometry);

    // The key of the tree entry last shown; empty before the first run.
    QString lastPanel() const;
    void setLastPanel(const QString& sKey);

    bool startsMinimized() const;
    void setStartsMinimized(bool bOn);

private:
    QSettings m_store;
};
