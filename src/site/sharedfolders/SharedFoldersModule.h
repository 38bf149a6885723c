#pragma once

#include "site/PhoneDisplay.h"
#include "site/SiteModule.h"
#include "site/sharedfolders/FolderReader.h"

class CParagraph;
class PictureAdapter;
class ShareAccess;
class SiteContext;

// The shared-folder pages: the shared folders (root level), a folder's sub
// folders and files page by page, and a file's details with its picture or
// download link.
class SharedFoldersModule : public SiteModule {
public:
    SharedFoldersModule(const SiteContext& context, const ShareAccess& shares,
                        PictureAdapter& pictures);

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
    // The folder as shown, its path cut to its last `maxBytes`.
    QByteArray shownFolder(const QByteArray& folder, qsizetype maxBytes) const;
    void sendFolderPage(CPacket& packet, const QByteArray& U, const QByteArray& D, int page,
                        qint64 linkIndex, const SortedListing& listing);
    void addPicture(CParagraph& paragraph, const CPacket& packet, const QByteArray& path,
                    const QByteArray& fileLink, const QByteArray& name);
    bool fitsThePhone(const QByteArray& path, const QByteArray& type,
                      const PhoneDisplay::PictureView& phone) const;

    const SiteContext& m_context;
    const ShareAccess& m_shares;
    PictureAdapter& m_pictures;
    FolderReader m_folders;
};
