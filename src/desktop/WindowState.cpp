#include "desktop/WindowState.h"

#include <QStandardPaths>

namespace {

const QString GeometryKey = QStringLiteral("Window/Geometry");
const QString LastPanelKey = QStringLiteral("Window/LastPanel");
const QString StartMinimizedKey = QStringLiteral("Start/Minimized");

} // namespace

WindowState::WindowState(const QString& sFile)
    : m_store(sFile, QSettings::IniFormat) {}

QString WindowState::DefaultFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/pocketlane/window.conf");
}

QByteArray WindowState::geometry() const {
    return m_store.value(GeometryKey).toByteArray();
}

void WindowState::setGeometry(const QByteArray& geometry) {
    m_store.setValue(GeometryKey, geometry);
}

QString WindowState::lastPanel() const {
    return m_store.value(LastPanelKey).toString();
}

void WindowState::setLastPanel(const QString& sKey) {
    m_store.setValue(LastPanelKey, sKey);
}

bool WindowState::startsMinimized() const {
    return m_store.value(StartMinimizedKey, false).toBool();
}

void WindowState::setStartsMinimized(bool bOn) {
    m_store.setValue(StartMinimizedKey, bOn);
    m_store.sync();
}
