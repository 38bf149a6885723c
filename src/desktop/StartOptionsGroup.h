#pragma once

#include <QGroupBox>

class StatusLog;
class WindowState;

// The Options panel's group of how Pocketlane starts with the desktop:
// "Start Pocketlane when I log in" (the desktop's autostart entry) and
// "Start minimized to the notification area" (the window's own state).
class StartOptionsGroup : public QGroupBox {
    Q_OBJECT
public:
    StartOptionsGroup(WindowState& state, StatusLog& log, QWidget* parent = nullptr);
};
