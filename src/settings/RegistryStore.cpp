#include "settings/RegistryStore.h"

#include "base/FileAside.h"
#include "base/StatusLog.h"
#include "settings/RegistryText.h"
#include "settings/SettingsFileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <dirent.h>
#include <unistd.h>

RegistryError::RegistryError(QString description, QString source)
    : m_description(std::move(description))
    , m_source(std::move(source))
    , m_what(m_description.toUtf8()) {}

namespace {

// How often a change kept while another process holds the file's lock tries
// again, when the owner is told about it, and how long the end of the
// program waits for the lock to write such a change.
constexpr std::chrono::milliseconds PendingRetryInterval{100};
constexpr qint64 PendingNoticeMs = 5000;
constexpr std::chrono::milliseconds FinalLockWait{2000};

bool isValidKeyPath(QByteArrayView path) {
    return !path.isEmpty();
}

// Flushes the folder's entries, so that a rename into it survives a crash.
void syncFolder(const QString& folder) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(QFile::encodeName(folder).constData()),
                                                  ::closedir);
    if (dir)
        ::fsync(::dirfd(dir.get()));
}

// Writes the text to a temporary file readable by its owner only, flushed
// to the disk, then renames it over `path`: a crash leaves either the old
// file or the new one, never a part.
bool replaceFile(const QString& path, const QByteArray& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(text) != text.size() || !file.commit())
        return false;
    syncFolder(QFileInfo(path).absolutePath());
    return true;
}

// Whether the file is a copy of ours that a write left behind: Qt's
// "<name>.XXXXXX" temporary names, holding a text that starts like ours.
bool isLeftoverCopy(const QFileInfo& candidate, const QString& settingsName) {
    static const QRegularExpression temporaryName(QStringLiteral("^\\.[A-Za-z0-9]{6}$"));
    if (!candidate.fileName().startsWith(settingsName) ||
        !temporaryName.match(candidate.fileName().mid(settingsName.size())).hasMatch())
        return false;
    QFile file(candidate.filePath());
    return file.open(QIODevice::ReadOnly) &&
           file.read(RegistryText::FirstLine.size()) == RegistryText::FirstLine;
}

} // namespace

RegistryStore::ExclusiveAccess::ExclusiveAccess(RegistryStore& store,
                                                std::optional<std::chrono::milliseconds> maxWait)
    : m_store(store) {
    if (m_store.m_lockHolds++ == 0)
        m_store.m_lock = std::make_unique<SettingsFileLock>(m_store.m_filePath, maxWait);
}

RegistryStore::ExclusiveAccess::~ExclusiveAccess() {
    if (--m_store.m_lockHolds == 0)
        m_store.m_lock.reset();
}

bool RegistryStore::ExclusiveAccess::isHeld() const {
    return m_store.m_lock->isHeld();
}

RegistryStore::RegistryStore(QString filePath)
    : m_filePath(std::move(filePath)) {}

RegistryStore::~RegistryStore() {
    if (!m_savePending)
        return;
    const SettingsFileLock lock(m_filePath, FinalLockWait);
    if (lock.isHeld())
        replaceFile(m_filePath, RegistryText::serialize(m_keys.keys()));
}

bool RegistryStore::load(StatusLog* log) {
    m_keys = {};
    m_writable = false;
    m_loadProblem.clear();
    m_log = log;
    ExclusiveAccess access(*this);
    if (access.isHeld())
        removeStaleCopies();
    QFile file(m_filePath);
    QString error;
    std::optional<RegistryKeys> keys;
    if (!file.exists())
        keys.emplace();
    else if (!file.open(QIODevice::ReadOnly))
        error = file.errorString();
    else
        keys = RegistryText::parse(file.readAll(), &error);
    if (!keys) {
        m_loadProblem = QStringLiteral("The settings file ") + m_filePath +
                        QStringLiteral(" cannot be read (") + error + u')';
        return false;
    }
    m_keys = std::move(*keys);
    m_writable = true;
    return true;
}

void RegistryStore::removeStaleCopies() const {
    const QFileInfo settings(m_filePath);
    QFile::remove(m_filePath + QStringLiteral(".saving")); // an earlier writer's name
    const QFileInfoList candidates = settings.dir().entryInfoList(
        {settings.fileName() + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden);
    for (const QFileInfo& candidate : candidates) {
        if (isLeftoverCopy(candidate, settings.fileName()))
            QFile::remove(candidate.filePath());
    }
}

bool RegistryStore::startAfresh() {
    if (m_loadProblem.isEmpty())
        return true;
    const QString aside = FileAside::KeepAside(m_filePath);
    m_writable = !aside.isEmpty();
    logError(m_writable ? m_loadProblem + QStringLiteral("; it was kept as ") + aside +
                              QStringLiteral(" and the settings start afresh.")
                        : m_loadProblem + QStringLiteral(" nor kept aside; no setting will be "
                                                         "saved until it is mended or removed."));
    return m_writable;
}

void RegistryStore::logError(const QString& message) const {
    if (m_log)
        m_log->LogStatus(LogError, message);
}

bool RegistryStore::keyExists(const QByteArray& keyPath) const {
    return m_keys.find(keyPath) >= 0;
}

std::optional<RegistryStore::Value> RegistryStore::value(const QByteArray& keyPath,
                                                         const QByteArray& name) const {
    const qsizetype key = m_keys.find(keyPath);
    return key < 0 ? std::nullopt : m_keys.value(key, name);
}

std::optional<QList<RegistryStore::Value>> RegistryStore::values(const QByteArray& keyPath) const {
    const qsizetype key = m_keys.find(keyPath);
    if (key < 0)
        return std::nullopt;
    return m_keys.keys().at(key).values;
}

bool RegistryStore::createKey(const QByteArray& keyPath) {
    if (!isValidKeyPath(keyPath))
        return false;
    if (keyExists(keyPath))
        return true;
    RegistryKeys keys = m_keys;
    keys.ensure(keyPath);
    return save(keys);
}

bool RegistryStore::setValue(const QByteArray& keyPath, const Value& value) {
    return setValues(keyPath, {value});
}

bool RegistryStore::setValues(const QByteArray& keyPath, const QList<Value>& values) {
    if (!isValidKeyPath(keyPath) || !m_writable)
        return false;
    if (holdsAlready(keyPath, values))
        return true;
    RegistryKeys keys = m_keys;
    const qsizetype key = keys.ensure(keyPath);
    for (const Value& value : values)
        keys.setValue(key, value);
    return save(keys);
}

// Answers a change that alters nothing without copying the keys.
bool RegistryStore::holdsAlready(const QByteArray& keyPath, const QList<Value>& values) const {
    const qsizetype key = m_keys.find(keyPath);
    return key >= 0 && std::all_of(values.begin(), values.end(), [&](const Value& value) {
               return m_keys.value(key, value.name) == value;
           });
}

bool RegistryStore::deleteValue(const QByteArray& keyPath, const QByteArray& name) {
    RegistryKeys keys = m_keys;
    const qsizetype key = keys.find(keyPath);
    return key >= 0 && keys.removeValue(key, name) && save(keys);
}

bool RegistryStore::save(const RegistryKeys& keys) {
    if (!m_writable)
        return false;
    if (m_lockHolds > 0 && m_lock->isHeld())
        return writeFile(keys);
    const SettingsFileLock lock(m_filePath, std::chrono::milliseconds(0));
    if (lock.isHeld())
        return writeFile(keys);
    if (!lock.isBusy())
        return false;
    keepPending(keys);
    return true;
}

bool RegistryStore::writeFile(const RegistryKeys& keys) {
    if (!replaceFile(m_filePath, RegistryText::serialize(keys.keys())))
        return false;
    m_keys = keys;
    m_savePending = false;
    return true;
}

// Another process (an administration command, say) holds the lock: the
// change counts at once and is written once the lock is free, so that the
// event loop never waits for that process.
void RegistryStore::keepPending(const RegistryKeys& keys) {
    m_keys = keys;
    if (!m_savePending) {
        m_savePending = true;
        m_toldPending = false;
        m_pendingSince.start();
    }
    if (!m_retry) {
        m_retry = std::make_unique<QTimer>();
        m_retry->setInterval(PendingRetryInterval);
        QObject::connect(m_retry.get(), &QTimer::timeout, [this] { retryPendingSave(); });
    }
    m_retry->start();
}

void RegistryStore::retryPendingSave() {
    const SettingsFileLock lock(m_filePath, std::chrono::milliseconds(0));
    if (lock.isBusy()) {
        if (!m_toldPending && m_pendingSince.hasExpired(PendingNoticeMs)) {
            m_toldPending = true;
            logError(QStringLiteral("The settings file ") + m_filePath +
                     QStringLiteral(" is locked by another process; the latest changes count "
                                    "and are saved once it is free."));
        }
        return;
    }
    m_retry->stop();
    const RegistryKeys keys = m_keys;
    if (!lock.isHeld() || !writeFile(keys))
        logError(QStringLiteral("Saving Error: the settings file ") + m_filePath +
                 QStringLiteral(" cannot be written; the latest changes are not saved."));
}
