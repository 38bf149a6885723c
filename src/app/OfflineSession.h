#pragma once

#include "app/AdminTarget.h"
#include "base/StatusLog.h"
#include "settings/RegistryStore.h"
#include "settings/Settings.h"
#include "settings/SharedFolderList.h"
#include "site/graffiti/GraffitiBoard.h"
#include "site/graffiti/GraffitiStore.h"

class QTextStream;

// The settings and shared folders of a settings file, loaded as at a start of
// the program, for commands while no program runs on it. While loading only
// failures are echoed to `err`, so that a command prints what it did rather
// than the start-up summary.
class OfflineSession {
public:
    explicit OfflineSession(const QString& settingsFile);

    RegistryStore& store() { return m_store; }
    AdminTarget target() { return {m_settings, m_folders, m_board, m_log, m_store.filePath()}; }

    // A file that cannot be read is left as it is and changes nothing: a
    // command must not replace the owner's settings (the site password, say)
    // with first-run values.
    // The stored Graffiti are read only when `withGraffiti`.
    bool load(QTextStream& err, bool withGraffiti);

private:
    StatusLog m_log;
    RegistryStore m_store;
    Settings m_settings;
    SharedFolderList m_folders;
    GraffitiBoard m_board;
    GraffitiStore m_storedBoard;
};
