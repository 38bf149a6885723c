#include "site/sharedfolders/FolderListings.h"

#include "base/TextCasing.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <tuple>

namespace {

// One entry while sorting: the first 16 bytes of its sort key as two
// big-endian numbers, which decide almost every comparison without a look
// at the key itself.
struct SortItem {
    quint64 head0;
    quint64 head1;
    quint32 keyOffset;
    quint32 keyLength;
    quint32 entry;
    bool isDirectory;
};

quint64 BigEndianWord(const std::string& keys, size_t from, size_t end) {
    quint64 word = 0;
    for (size_t i = 0; i < 8; ++i)
        word = (word << 8) | (from + i < end ? static_cast<unsigned char>(keys[from + i]) : 0u);
    return word;
}

} // namespace

SortedListing::SortedListing(const std::vector<FileSystem::FolderEntry>& entries) {
    std::string keys;
    std::vector<SortItem> order;
    order.reserve(entries.size());
    qsizetype nameBytes = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t start = keys.size();
        TextCasing::AppendNameSortKey(entries[i].name, keys);
        order.push_back({BigEndianWord(keys, start, keys.size()),
                         BigEndianWord(keys, start + 8, keys.size()), quint32(start),
                         quint32(keys.size() - start), quint32(i), entries[i].isDirectory});
        nameBytes += entries[i].name.size();
    }
    const auto tail = [&](const SortItem& item) {
        const quint32 skip = std::min<quint32>(16, item.keyLength);
        return std::string_view(keys).substr(item.keyOffset + skip, item.keyLength - skip);
    };
    std::sort(order.begin(), order.end(), [&](const SortItem& a, const SortItem& b) {
        if (a.isDirectory != b.isDirectory)
            return a.isDirectory;
        if (a.head0 != b.head0)
            return a.head0 < b.head0;
        if (a.head1 != b.head1)
            return a.head1 < b.head1;
        if (const int byKey = tail(a).compare(tail(b)))
            return byKey < 0;
        return entries[a.entry].name < entries[b.entry].name;
    });
    m_names.reserve(nameBytes);
    m_items.reserve(order.size());
    for (const SortItem& item : order) {
        const QByteArray& name = entries[item.entry].name;
        m_items.push_back({quint32(m_names.size()), quint32(name.size())});
        m_names += name;
        m_folderCount += item.isDirectory ? 1 : 0;
    }
}

QByteArray SortedListing::Name(qsizetype i) const {
    const Item& item = m_items[size_t(i)];
    return m_names.mid(item.offset, item.length);
}

qsizetype SortedListing::MemoryBytes() const {
    return qsizetype(sizeof *this) + m_names.capacity() +
           qsizetype(m_items.capacity() * sizeof(Item));
}

std::optional<FolderStamp> FolderStamp::Of(const FileSystem::Descriptor& folder) {
    struct stat info {};
    if (!folder || ::fstat(folder.Get(), &info) != 0)
        return std::nullopt;
    const auto ns = [](const timespec& t) { return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
    return FolderStamp{info.st_dev, info.st_ino, ns(info.st_mtim), ns(info.st_ctim)};
}

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

qint64 WallClockNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}
