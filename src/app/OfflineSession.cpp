#include "app/OfflineSession.h"

#include <QTextStream>

OfflineSession::OfflineSession(const QString& settingsFile)
    : m_store(settingsFile)
    , m_settings(m_store, m_log)
    , m_folders(m_store, m_log)
    , m_board(m_settings)
    , m_storedBoard(m_board, m_settings, m_log) {
    m_log.setExtendedLoggingSwitch([this] { return m_settings.extendedLogging(); });
}

bool OfflineSession::load(QTextStream& err, bool withGraffiti) {
    if (!m_store.load(&m_log)) {
        err << "pocketlane: " << m_store.loadProblem()
            << "; nothing was changed. Mend that line or remove the file." << Qt::endl;
        return false;
    }
    const QMetaObject::Connection echo =
        QObject::connect(&m_log, &StatusLog::lineAdded, [&err](const StatusLog::Line& line) {
            if (line.level == LogError)
                err << StatusLog::formatLine(line) << Qt::endl;
        });
    bool loaded = true;
    m_folders.ReloadSharedFolders();
    try {
        m_settings.LoadSettings();
        if (withGraffiti)
            m_storedBoard.Start();
    } catch (const RegistryError& error) {
        err << "Loading Error: " << error.Description() << Qt::endl;
        loaded = false;
    }
    QObject::disconnect(echo);
    return loaded;
}
