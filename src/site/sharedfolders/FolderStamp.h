#pragma once

#include "site/ConfinedFolder.h"

#include <sys/types.h>

#include <optional>

// What identifies a folder's contents as they were: its identity and the
// times of its last change. Adding, removing or renaming an entry changes
// them.
struct FolderStamp {
    dev_t device = 0;
    ino_t inode = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    auto operator<=>(const FolderStamp&) const = default;

    static std::optional<FolderStamp> Of(const FileSystem::Descriptor& folder);
};

// The current wall-clock time, in nanoseconds since the epoch.
qint64 WallClockNs();
