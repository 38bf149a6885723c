#include "site/sharedfolders/FolderReader.h"

#include "base/PocketlaneError.h"
#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "site/ShareAccess.h"

#include <fcntl.h>

FolderReader::FolderReader(const ShareAccess& shares, StatusLog& log)
    : m_shares(shares)
    , m_log(log) {
    m_readers.setMaxThreadCount(MaxFoldersReadAtOnce);
}

FolderReader::~FolderReader() {
    // Readings still running hand their result to this reader.
    m_readers.waitForDone();
}

// The folder's entries in page order: the listing kept from an earlier page
// while the folder is unchanged, else read now. A folder that cannot be
// opened beneath its shared folder (gone, unreadable, or no longer inside
// one) lists nothing. Reading a large folder, or one on a slow disk, takes
// long: a request the server lets wait has it read on a worker thread while
// the event loop serves others, and requests for a folder already being read
// wait for that reading.
void FolderReader::WithListingOf(CPacket& packet, const QByteArray& folder, ListingReady ready) {
    static const auto nothing =
        std::make_shared<const SortedListing>(std::vector<FileSystem::FolderEntry>());
    std::optional<ShareAccess::SharedPath> located = m_shares.Locate(folder);
    if (!located)
        return ready(packet, nothing);
    FileSystem::Descriptor opened = located->share.Open(located->relative, O_RDONLY | O_DIRECTORY);
    const std::optional<FolderStamp> stamp = FolderStamp::Of(opened);
    if (!stamp)
        return ready(packet, nothing);
    const QByteArray share = located->share.Path();
    if (const Listing known = m_listings.Find(share, *stamp))
        return ready(packet, known);

    std::shared_ptr<CPacket> kept = packet.weak_from_this().lock();
    if (!kept || m_waitingCount >= MaxWaitingRequests) {
        const qint64 readStart = WallClockNs();
        const auto listing = std::make_shared<const SortedListing>(
            FileSystem::ListFolder(located->share, located->relative, std::move(opened)));
        m_listings.Insert(share, *stamp, listing, readStart);
        return ready(packet, listing);
    }
    packet.Defer();
    std::vector<WaitingRequest>& waiting = m_waiting[{share, *stamp}];
    waiting.push_back({std::move(kept), std::move(ready)});
    ++m_waitingCount;
    if (waiting.size() == 1)
        readOffTheLoop(std::move(located->share), located->relative, std::move(opened), *stamp);
}

void FolderReader::readOffTheLoop(FileSystem::ConfinedFolder share, const QByteArray& relative,
                                  FileSystem::Descriptor folder, const FolderStamp& stamp) {
    const QByteArray sharePath = share.Path();
    auto opened = std::make_shared<std::pair<FileSystem::ConfinedFolder, FileSystem::Descriptor>>(
        std::move(share), std::move(folder));
    m_readers.start([this, sharePath, stamp, opened, relative] {
        const qint64 readStart = WallClockNs();
        const auto listing = std::make_shared<const SortedListing>(
            FileSystem::ListFolder(opened->first, relative, std::move(opened->second)));
        QMetaObject::invokeMethod(
            &m_mainThread,
            [this, sharePath, stamp, listing, readStart] {
                listingRead(sharePath, stamp, listing, readStart);
            },
            Qt::QueuedConnection);
    });
}

void FolderReader::listingRead(const QByteArray& share, const FolderStamp& stamp,
                               const Listing& listing, qint64 readStart) {
    m_listings.Insert(share, stamp, listing, readStart);
    const auto found = m_waiting.find({share, stamp});
    if (found == m_waiting.end())
        return;
    const std::vector<WaitingRequest> waiting = std::move(found->second);
    m_waiting.erase(found);
    m_waitingCount -= waiting.size();
    for (const WaitingRequest& request : waiting) {
        try {
            request.ready(*request.packet, listing);
        } catch (...) {
            // As the dispatcher logs a page that fails (the visitor may have
            // gone meanwhile).
            m_log.LogStatus(LogError, QStringLiteral("HandleAction - ") + CurrentFailureText());
        }
    }
}
