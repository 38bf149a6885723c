#include "site/ShareAccess.h"

#include "settings/SharedFolderList.h"

#include <cerrno>

ShareAccess::ShareAccess(const SharedFolderList& folders)
    : m_folders(folders) {}

std::optional<ShareAccess::SharedPath> ShareAccess::Locate(const QByteArray& path) const {
    const auto share = m_folders.sharingParentOf(path);
    if (!share)
        return std::nullopt;
    SharedPath located{FileSystem::ConfinedFolder(*share), path.mid(share->size())};
    if (!located.share.IsOpen())
        return std::nullopt;
    while (located.relative.startsWith('/'))
        located.relative.remove(0, 1);
    return located;
}

FileSystem::Descriptor ShareAccess::Open(const QByteArray& path, int flags) const {
    const std::optional<SharedPath> located = Locate(path);
    if (!located) {
        errno = EXDEV;
        return {};
    }
    return located->share.Open(located->relative, flags);
}
