#include "site/ShareAccess.h"

#include "base/FolderPaths.h"
#include "settings/SharedFolderList.h"
#include "site/FileSystem.h"

ShareAccess::ShareAccess(const SharedFolderList& folders)
    : m_folders(folders) {}

QByteArray ShareAccess::CanonicalShareHolding(const QByteArray& path) const {
    const auto share = m_folders.sharingParentOf(path);
    if (!share)
        return {};
    const QByteArray canonicalShare = FileSystem::CanonicalPath(*share);
    if (!FolderPaths::IsWithinFolder(FileSystem::CanonicalPath(path), canonicalShare))
        return {};
    return canonicalShare;
}
