#pragma once

#include "base/StatusLog.h"
#include "settings/RegistryStore.h"
#include "settings/Settings.h"

#include <QFile>
#include <QTemporaryDir>

#include <memory>

// The whole file, or nothing when it cannot be read.
inline QByteArray fileContents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A settings store in a fresh temporary folder, with its log and options, as
// the program has them after start-up. restart() drops them and loads the
// same file again, as a new start of the program does.
struct TempSettings {
    QTemporaryDir dir;
    QString file = dir.filePath(QStringLiteral("settings.reg"));
    std::unique_ptr<StatusLog> log;
    std::unique_ptr<RegistryStore> store;
    std::unique_ptr<Settings> settings;

    TempSettings() { restart(); }

    void restart() {
        settings.reset();
        store.reset();
        log = std::make_unique<StatusLog>();
        log->setExtendedLoggingSwitch([] { return true; });
        store = std::make_unique<RegistryStore>(file);
        store->load(log.get());
        settings = std::make_unique<Settings>(*store, *log);
        settings->LoadSettings();
    }

    QByteArray fileText() const { return fileContents(file); }

    // The messages logged at `level`.
    QStringList lines(int level) const {
        QStringList found;
        for (const StatusLog::Line& line : log->lines())
            if (line.level == level)
                found << line.message;
        return found;
    }
};
