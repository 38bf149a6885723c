#include "site/sharedfolders/FolderListingCache.h"

bool FolderListingCache::Key::operator<(const Key& other) const {
    return std::tie(device, inode, share) < std::tie(other.device, other.inode, other.share);
}

FolderListingCache::FolderListingCache(qsizetype maxBytes)
    : m_maxBytes(maxBytes) {}

std::shared_ptr<const SortedListing> FolderListingCache::Find(const QByteArray& share,
                                                              const FolderStamp& stamp) {
    const auto found = m_index.find(Key{share, stamp.device, stamp.inode});
    if (found == m_index.end())
        return nullptr;
    if (found->second->stamp != stamp) {
        erase(found->second);
        return nullptr;
    }
    m_entries.splice(m_entries.begin(), m_entries, found->second);
    return found->second->listing;
}

void FolderListingCache::Insert(const QByteArray& share, const FolderStamp& stamp,
                                std::shared_ptr<const SortedListing> listing, qint64 readStartNs) {
    const qint64 lastChange = std::max(stamp.modifiedNs, stamp.changedNs);
    const qsizetype bytes = listing->MemoryBytes();
    if (readStartNs - lastChange < StampGranularityNs || bytes > m_maxBytes)
        return;
    Key key{share, stamp.device, stamp.inode};
    if (const auto found = m_index.find(key); found != m_index.end())
        erase(found->second);
    while (m_bytes + bytes > m_maxBytes && !m_entries.empty())
        erase(std::prev(m_entries.end()));
    m_entries.push_front(Entry{key, stamp, std::move(listing)});
    m_index.emplace(std::move(key), m_entries.begin());
    m_bytes += bytes;
}

void FolderListingCache::erase(std::list<Entry>::iterator entry) {
    m_bytes -= entry->listing->MemoryBytes();
    m_index.erase(entry->key);
    m_entries.erase(entry);
}
