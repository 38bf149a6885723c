#pragma once

#include "site/SiteModule.h"
#include "site/sharedfolders/FolderListings.h"

#include <QObject>
#include <QThreadPool>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class CParagraph;
class PhoneDisplay;
class PictureAdapter;
class ShareAccess;
class SiteContext;

// The shared-folder pages: the shared folders (root level), a folder's sub
// folders and files page by page, and a file's details with its picture or
// download link.
class SharedFoldersModule : public SiteModule {
public:
    // Folders not listed before are read on worker threads, at most this
    // many folders at once; the requests for them wait meanwhile.
    static constexpr int MaxFoldersReadAtOnce = 2;
    // Requests waiting for folders being read; past it, a folder is read at
    // once on the event loop.
    static constexpr size_t MaxWaitingRequests = 256;

    SharedFoldersModule(const SiteContext& context, const ShareAccess& shares,
                        PictureAdapter& pictures);
    ~SharedFoldersModule() override;

    QByteArray Letter() const override { return "F"; }
    QByteArray MenuTitle() const override { return "Shared Folders"; }
    bool IsEnabled() const override;
    void HandleLink(CPacket& packet, const LinkState& link, qint64 index) override;

    // linkIndex is the link record that was followed (it may say where a
    // cut-short listing goes on).
    void SendRootLevelPage(CPacket& packet, int page, qint64 linkIndex = -1);
    void SendFolderPage(CPacket& packet, const QByteArray& U, const QByteArray& D, int page,
                        qint64 linkIndex = -1);
    void SendFileDetailsPage(CPacket& packet, const QByteArray& U, const QByteArray& D,
                             const QByteArray& F, int page, qint64 linkIndex = -1);
    // Whether the folder, with or without one trailing "/", is a shared folder.
    bool IsRootFolder(const QByteArray& sFolder) const;
    // The parent folder with a trailing "/", or empty for a shared folder.
    QByteArray DetermineParentFolder(const QByteArray& sFolder) const;

private:
    using Listing = std::shared_ptr<const SortedListing>;
    using ListingReady = std::function<void(CPacket&, const Listing&)>;
    struct WaitingRequest {
        std::shared_ptr<CPacket> packet;
        ListingReady ready;
    };

    QByteArray shownFolder(const QByteArray& folder) const;
    // Calls ready with the folder's listing: at once when it is known, else
    // once it has been read (on a worker thread when the packet can wait).
    void withListingOf(CPacket& packet, const QByteArray& folder, ListingReady ready);
    void readOffTheLoop(FileSystem::ConfinedFolder share, QByteArray relative,
                        FileSystem::Descriptor folder, const FolderStamp& stamp);
    void listingRead(const QByteArray& share, const FolderStamp& stamp, const Listing& listing,
                     qint64 readStart);
    void sendFolderPage(CPacket& packet, const QByteArray& U, const QByteArray& D, int page,
                        qint64 linkIndex, const SortedListing& listing);
    void addPicture(CParagraph& paragraph, const CPacket& packet, const QByteArray& path,
                    const QByteArray& fileLink, const QByteArray& name);
    bool fitsThePhone(const QByteArray& path, const QByteArray& type,
                      const PhoneDisplay& phone) const;

    const SiteContext& m_context;
    const ShareAccess& m_shares;
    PictureAdapter& m_pictures;
    FolderListingCache m_listings;
    // Requests waiting for a folder being read, by share and folder stamp.
    std::map<std::pair<QByteArray, FolderStamp>, std::vector<WaitingRequest>> m_waiting;
    size_t m_waitingCount = 0;
    QObject m_mainThread; // where finished readings are handed back
    QThreadPool m_readers;
};
