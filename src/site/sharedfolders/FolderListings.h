#pragma once

#include "site/ConfinedFolder.h"

#include <QByteArray>

#include <sys/types.h>

#include <list>
#include <map>
#include <memory>
#include <optional>
#include <vector>

// A folder's entries in the order its pages list them: sub folders first,
// then files, each in case-insensitive name order (names equal but for case
// by their bytes), so every page of it lists the same entries.
class SortedListing {
public:
    explicit SortedListing(const std::vector<FileSystem::FolderEntry>& entries);

    qsizetype Size() const { return qsizetype(m_items.size()); }
    bool IsDirectory(qsizetype i) const { return i < m_folderCount; }
    QByteArray Name(qsizetype i) const;
    // What the listing holds in memory, roughly.
    qsizetype MemoryBytes() const;

private:
    struct Item {
        quint32 offset;
        quint32 length;
    };
    QByteArray m_names; // every name, one after the other, in listing order
    std::vector<Item> m_items;
    qsizetype m_folderCount = 0;
};

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

// Sorted listings of recently shown folders, so that the next page of a
// large folder is answered without reading it again. A listing is used only
// while its folder's stamp is unchanged, and kept only when it was read well
// after the folder last changed, since a change within the file system's
// time granularity would leave the stamp as it was. The least recently used
// listings make room for new ones beyond the memory bound.
class FolderListingCache {
public:
    static constexpr qsizetype DefaultMaxBytes = 48 << 20;
    // How long after a change a folder's stamp is trusted to show the next.
    static constexpr qint64 StampGranularityNs = 2'000'000'000;

    explicit FolderListingCache(qsizetype maxBytes = DefaultMaxBytes);

    // The listing of the folder as shared under `share`, when it is known
    // and the folder has not changed since.
    std::shared_ptr<const SortedListing> Find(const QByteArray& share, const FolderStamp& stamp);
    // Keeps a listing read from readStartNs (wall clock) on.
    void Insert(const QByteArray& share, const FolderStamp& stamp,
                std::shared_ptr<const SortedListing> listing, qint64 readStartNs);

    qsizetype MemoryBytes() const { return m_bytes; }
    qsizetype Count() const { return qsizetype(m_entries.size()); }

private:
    struct Key {
        QByteArray share;
        dev_t device;
        ino_t inode;
        bool operator<(const Key& other) const;
    };
    struct Entry {
        Key key;
        FolderStamp stamp;
        std::shared_ptr<const SortedListing> listing;
    };
    void erase(std::list<Entry>::iterator entry);

    qsizetype m_maxBytes;
    qsizetype m_bytes = 0;
    std::list<Entry> m_entries; // most recently used first
    std::map<Key, std::list<Entry>::iterator> m_index;
};

// The current wall-clock time, in nanoseconds since the epoch.
qint64 WallClockNs();
