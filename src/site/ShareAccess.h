#pragma once

#include "site/ConfinedFolder.h"

#include <QByteArray>

#include <optional>

class SharedFolderList;

// Where visitors may reach files: inside the owner's shared folders, as
// they are at the moment of the request. Everything below a shared folder is
// opened beneath that folder's own descriptor, so a link swapped in meanwhile
// cannot lead out of it.
class ShareAccess {
public:
    explicit ShareAccess(const SharedFolderList& folders);

    // A path split at the shared folder that holds it by its text.
    struct SharedPath {
        FileSystem::ConfinedFolder share;
        QByteArray relative; // below the shared folder, "/"-separated; empty for the folder
    };
    // The shared folder holding path, opened; none when no shared folder
    // holds it or the folder cannot be opened.
    std::optional<SharedPath> Locate(const QByteArray& path) const;
    // Opens path (open(2) flags) beneath the shared folder that holds it.
    // Fails with EXDEV in errno when none holds it or it leads out of it.
    FileSystem::Descriptor Open(const QByteArray& path, int flags) const;

    const SharedFolderList& Folders() const { return m_folders; }

private:
    const SharedFolderList& m_folders;
};
