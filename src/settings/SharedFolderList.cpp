#include "settings/SharedFolderList.h"

#include "base/FolderPaths.h"
#include "base/StatusLog.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsStorage.h"

#include <QFile>

namespace {

void logSavingError(StatusLog& log, const RegistryError& error) {
    log.LogStatus(LogError, QStringLiteral("Saving Error: ") + error.Description());
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
    const bool wasEmpty = isEmpty();
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
    if (wasEmpty != isEmpty())
        Q_EMIT emptyChanged(isEmpty());
    logSummary();
}

void SharedFolderList::logSummary() {
    if (isEmpty()) {
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

SharedFolderList::AddResult
SharedFolderList::addFolder(QByteArrayView sPath, const std::function<bool()>& confirmReplace) {
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
    if (isEmpty())
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
    while (!isEmpty()) {
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
