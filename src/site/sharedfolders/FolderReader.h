#pragma once

#include "site/ConfinedFolder.h"
#include "site/sharedfolders/FolderListingCache.h"

#include <QByteArray>
#include <QObject>
#include <QThreadPool>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class CPacket;
class ShareAccess;
class StatusLog;

// Reads the folders that the shared-folder pages list, sorted, and keeps
// their listings while the folders stay unchanged. Reading a large folder,
// or one on a slow disk, takes long: a request the server lets wait has it
// read on a worker thread while the event loop serves others, and requests
// for a folder already being read wait for that reading.
class FolderReader {
public:
    // Folders not listed before are read on worker threads, at most this
    // many folders at once; the requests for them wait meanwhile.
    static constexpr int MaxFoldersReadAtOnce = 2;
    // Requests waiting for folders being read; past it, a folder is read at
    // once on the event loop.
    static constexpr size_t MaxWaitingRequests = 256;

    using Listing = std::shared_ptr<const SortedListing>;
    using ListingReady = std::function<void(CPacket&, const Listing&)>;

    // Pages that fail once their listing is read are logged in log.
    FolderReader(const ShareAccess& shares, StatusLog& log);
    ~FolderReader();

    // Calls ready with the folder's listing: at once when it is known, else
    // once it has been read (on a worker thread when the packet can wait).
    void WithListingOf(CPacket& packet, const QByteArray& folder, ListingReady ready);

private:
    struct WaitingRequest {
        std::shared_ptr<CPacket> packet;
        ListingReady ready;
    };
    void readOffTheLoop(FileSystem::ConfinedFolder share, const QByteArray& relative,
                        FileSystem::Descriptor folder, const FolderStamp& stamp);
    void listingRead(const QByteArray& share, const FolderStamp& stamp, const Listing& listing,
                     qint64 readStart);

    const ShareAccess& m_shares;
    StatusLog& m_log;
    FolderListingCache m_listings;
    // Requests waiting for a folder being read, by share and folder stamp.
    std::map<std::pair<QByteArray, FolderStamp>, std::vector<WaitingRequest>> m_waiting;
    size_t m_waitingCount = 0;
    QObject m_mainThread; // where finished readings are handed back
    QThreadPool m_readers;
};
