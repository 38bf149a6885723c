#pragma once

#include "site/sharedfolders/FolderStamp.h"
#include "site/sharedfolders/SortedListing.h"

#include <QByteArray>

#include <sys/types.h>

#include <list>
#include <map>
#include <memory>

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
