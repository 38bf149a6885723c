#include "settings/SharedFolderList.h"

#include "base/FolderPaths.h"
#include "base/StatusLog.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsStorage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

void logSavingError(StatusLog& log, const RegistryError& error) {
    log.LogStatus(LogError, QStringLiteral("Saving Error: ") + error.Description());
}

// The path, and where it leads when symbolic links on the way lead elsewhere
// (for a path that does not exist yet, its folder's links).
QList<QByteArray> pathForms(const QString& path) {
    const QFileInfo info(path);
    const QString resolved = info.exists() ? info.canonicalFilePath()
                                           : QFileInfo(info.absolutePath()).canonicalFilePath() +
                                                 QStringLiteral("/") + info.fileName();
    QList<QByteArray> forms{SharedFolderList::CleanFolderPath(QFile::encodeName(path))};
    const QByteArray cleanResolved = SharedFolderList::CleanFolderPath(QFile::encodeName(resolved));
    if (!cleanResolved.isEmpty() && !forms.contains(cleanResolved))
        forms.append(cleanResolved);
    return forms;
}

bool anyWithin(const QList<QByteArray>& paths, const QList<QByteArray>& folders) {
    for (const QByteArray& path : paths) {
        for (const QByteArray& folder : folders) {
            if (FolderPaths::IsWithinFolder(path, folder))
                return true;
        }
    }
    return false;
}

} // namespace

QString SharedFolderList::AlreadySharedText() {
    return QStringLiteral("This folder (or a parent of this folder) is already being shared.\r"
                          "Remember that when a folder is shared, all sub folders are "
                          "automatically shared too.");
}

QString SharedFolderList::ReplaceSubFoldersText() {
    return QStringLiteral("One or more sub folders of the folder you've selected are already "
                          "being shared. These will be removed if you continue.\r"
                          "Are you sure you wish to continue?");
}

QByteArray SharedFolderList::CleanFolderPath(QByteArrayView sPath) {
    if (!sPath.startsWith('/'))
        return {};
    QList<QByteArrayView> components;
    qsizetype start = 1;
    while (start <= sPath.size()) {
        qsizetype end = sPath.indexOf('/', start);
        if (end < 0)
            end = sPath.size();
        const QByteArrayView component = sPath.sliced(start, end - start);
        if (component == "..") {
            if (!components.isEmpty())
                components.removeLast();
        } else if (!component.isEmpty() && component != ".") {
            components.append(component);
        }
        start = end + 1;
    }
    QByteArray clean;
    for (const QByteArrayView component : std::as_const(components))
        clean.append('/').append(component);
    return clean.isEmpty() ? QByteArrayLiteral("/") : clean;
}

SharedFolderList::SharedFolderList(RegistryStore& store, StatusLog& log, QObject* parent)
    : QAbstractListModel(parent)
    , m_store(store)
    , m_log(log) {}

void SharedFolderList::ReloadSharedFolders() {
    const bool wasEmpty = m_folders.isEmpty();
    beginResetModel();
    m_folders.clear();
    for (const QByteArray& path : SettingsStorage::SharedFolderSettings(m_store)) {
        if (path.startsWith('/'))
            m_folders.append(path);
        else
            m_log.LogStatus(LogError, QStringLiteral("Not sharing \"") + QFile::decodeName(path) +
                                          QStringLiteral("\": not an absolute path."));
    }
    endResetModel();
    if (wasEmpty != m_folders.isEmpty())
        Q_EMIT emptyChanged(m_folders.isEmpty());
    logSummary();
}

void SharedFolderList::logSummary() {
    if (m_folders.isEmpty()) {
        m_log.LogStatus(LogNotice, QStringLiteral("You are currently not sharing anything."));
        return;
    }
    m_log.LogStatus(LogNotice, QStringLiteral("You are currently sharing ") +
                                   QString::number(m_folders.size()) +
                                   QStringLiteral(" folders and their sub folders."));
}

std::optional<QByteArray> SharedFolderList::sharingParentOf(QByteArrayView sPath) const {
    for (const QByteArray& folder : m_folders) {
        if (FolderPaths::IsWithinFolder(sPath.toByteArray(), folder))
            return folder;
    }
    return std::nullopt;
}

QList<QByteArray> SharedFolderList::sharedSubFoldersOf(QByteArrayView sPath) const {
    QList<QByteArray> inside;
    for (const QByteArray& folder : m_folders) {
        if (FolderPaths::IsWithinFolder(folder, sPath.toByteArray()))
            inside.append(folder);
    }
    return inside;
}

QString SharedFolderList::exposureOf(QByteArrayView sPath) const {
    const QString shown = QFile::decodeName(CleanFolderPath(sPath));
    const QList<QByteArray> folder = pathForms(shown);
    const QString settingsFile = QFileInfo(m_store.filePath()).absoluteFilePath();
    if (folder.contains("/"))
        return QStringLiteral("Sharing / lets visitors browse every folder of this PC that you "
                              "may read and see the names of all their files, hidden ones too, "
                              "such as Pocketlane's settings file ") +
               settingsFile + u'.';
    if (anyWithin(pathForms(QDir::homePath()), folder))
        return QStringLiteral("Sharing ") + shown +
               QStringLiteral(" lets visitors browse your whole home folder and see the names of "
                              "all its files, hidden ones too, such as .ssh and .config.");
    if (anyWithin(pathForms(settingsFile), folder))
        return shown + QStringLiteral(" holds Pocketlane's settings file ") + settingsFile +
               QStringLiteral(", which keeps the passwords: visitors would see the names of the "
                              "files in it, hidden ones too.");
    return {};
}

SharedFolderList::AddResult
SharedFolderList::addFolder(QByteArrayView sPath, const std::function<bool()>& confirmReplace,
                            const std::function<bool(const QString&)>& confirmExposure) {
    AddResult result;
    result.folder = CleanFolderPath(sPath);
    if (result.folder.isEmpty()) {
        result.outcome = AddResult::NotAbsolute;
        return result;
    }
    if (const auto parent = sharingParentOf(result.folder)) {
        result.outcome = AddResult::AlreadyShared;
        result.parent = *parent;
        return result;
    }
    result.exposure = exposureOf(result.folder);
    if (!result.exposure.isEmpty() && !(confirmExposure && confirmExposure(result.exposure))) {
        result.outcome = AddResult::Exposing;
        return result;
    }
    const QList<QByteArray> subFolders = sharedSubFoldersOf(result.folder);
    if (!subFolders.isEmpty() && !confirmReplace()) {
        result.outcome = AddResult::Cancelled;
        return result;
    }
    for (const QByteArray& subFolder : subFolders) {
        if (!removeFolder(subFolder)) {
            result.outcome = AddResult::NotSaved;
            return result;
        }
        result.replacedFolders.append(subFolder);
    }
    try {
        SettingsStorage::AddSharedFolderSetting(m_store, result.folder);
    } catch (const RegistryError& error) {
        logSavingError(m_log, error);
        result.outcome = AddResult::NotSaved;
        return result;
    }
    const int row = int(m_folders.size());
    beginInsertRows({}, row, row);
    m_folders.append(result.folder);
    endInsertRows();
    if (row == 0)
        Q_EMIT emptyChanged(false);
    return result;
}

// Removes the stored entry, then the row. An entry that is missing from the
// store (a hand-edited file) is only removed from the list, so that the
// owner can always remove it.
bool SharedFolderList::removeRowWithSetting(int iRow) {
    const QByteArray path = m_folders.at(iRow);
    try {
        if (SettingsStorage::SharedFolderSettings(m_store).contains(path))
            SettingsStorage::RemoveSharedFolderSetting(m_store, path);
    } catch (const RegistryError& error) {
        logSavingError(m_log, error);
        return false;
    }
    beginRemoveRows({}, iRow, iRow);
    m_folders.removeAt(iRow);
    endRemoveRows();
    if (m_folders.isEmpty())
        Q_EMIT emptyChanged(true);
    return true;
}

bool SharedFolderList::removeAt(int iRow) {
    if (iRow < 0 || iRow >= m_folders.size())
        return true;
    return removeRowWithSetting(iRow);
}

bool SharedFolderList::removeFolder(QByteArrayView sPath) {
    return removeAt(int(m_folders.indexOf(sPath)));
}

bool SharedFolderList::removeAll() {
    while (!m_folders.isEmpty()) {
        if (!removeRowWithSetting(0))
            return false;
    }
    return true;
}

int SharedFolderList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_folders.size());
}

QVariant SharedFolderList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_folders.size())
        return {};
    const QByteArray& path = m_folders.at(index.row());
    if (role == Qt::DisplayRole)
        return QFile::decodeName(path);
    if (role == PathRole)
        return path;
    return {};
}
