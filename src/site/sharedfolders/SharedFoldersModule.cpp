// The shared-folder pages of the site: the root level, folder pages and file
// details.
//
// Link records carry folder and file names exactly as the file system stores
// them, so that a link finds its file on a case-sensitive file system; the
// pages show the names proper-cased and made XML-safe.
//
// A folder page lists sub folders, then files, each in name order regardless
// of letter case, counted together; the order is the same on every page, so
// an entry's position says which page shows it. A folder's sorted listing is
// kept while the folder stays unchanged, so paging through a large folder
// reads it once.
#include "site/sharedfolders/SharedFoldersModule.h"

#include "base/SafeText.h"
#include "base/StatusLog.h"
#include "base/TextCasing.h"
#include "http/CPacket.h"
#include "settings/Settings.h"
#include "settings/SharedFolderList.h"
#include "site/ConfinedFolder.h"
#include "site/FileTypes.h"
#include "site/PhoneDisplay.h"
#include "site/PictureAdapter.h"
#include "site/ShareAccess.h"
#include "site/SiteContext.h"
#include "site/SiteLinks.h"
#include "site/sharedfolders/DeckLengthWatch.h"
#include "site/sharedfolders/FolderPagePosition.h"
#include "wml/CDeck.h"

#include <fcntl.h>

namespace {

constexpr int RootLevelEntries = 10;
constexpr int FolderPageEntries = 15;
constexpr qsizetype DeckLengthLimit = 1200;
constexpr qsizetype ShownNameCharacters = 20;
// A folder path longer than these bytes shows as its end, so that a deck of
// a deep folder in long names still fits the 1,400 compiled bytes a small
// phone takes: a listing leaves room for entries (it is cut by length
// anyway), a file's details page for its name (up to 255 bytes) three times.
constexpr qsizetype ListedPathBytes = 600;
constexpr qsizetype DetailsPathBytes = 300;
constexpr char PathCut[] = "...";

// A name from the disk as the pages show it. A name that is not UTF-8 was
// most likely written in ISO-8859-1, and is shown read that way.
QByteArray ShownName(const QByteArray& name) {
    return SafeText::MakeXmlSafe(TextCasing::ProperCase(SafeText::Utf8FromPhone(name)));
}

QByteArray ShownPath(const QByteArray& path) {
    return SafeText::MakeXmlSafe(SafeText::Utf8FromPhone(path));
}

// A shown path (valid UTF-8) longer than `maxBytes` loses its beginning,
// cut between characters: the folders nearest the visitor stay in sight.
QByteArray PathEnd(const QByteArray& shown, qsizetype maxBytes) {
    if (shown.size() <= maxBytes)
        return shown;
    qsizetype from = shown.size() - maxBytes + qsizetype(sizeof PathCut - 1);
    while (from < shown.size() && SafeText::IsContinuationByte(quint8(shown[from])))
        ++from;
    return PathCut + shown.mid(from);
}

} // namespace

SharedFoldersModule::SharedFoldersModule(const SiteContext& context, const ShareAccess& shares,
                                         PictureAdapter& pictures)
    : m_context(context)
    , m_shares(shares)
    , m_pictures(pictures)
    , m_folders(shares, context.StatusLogModel()) {}

bool SharedFoldersModule::IsEnabled() const {
    return m_context.Options().enableSharedFolders();
}

void SharedFoldersModule::HandleLink(CPacket& packet, const LinkState& link, qint64 index) {
    if (link.D.isEmpty())
        SendRootLevelPage(packet, link.P, index);
    else if (link.F.isEmpty())
        SendFolderPage(packet, link.U, link.D, link.P, index);
    else
        SendFileDetailsPage(packet, link.U, link.D, link.F, link.P, index);
}

bool SharedFoldersModule::IsRootFolder(const QByteArray& sFolder) const {
    const QByteArray stripped = sFolder.endsWith('/') ? sFolder.chopped(1) : sFolder;
    for (const QByteArray& folder : m_shares.Folders().folders()) {
        if (folder == stripped || folder == sFolder)
            return true;
    }
    return false;
}

QByteArray SharedFoldersModule::DetermineParentFolder(const QByteArray& sFolder) const {
    if (IsRootFolder(sFolder))
        return {};
    qsizetype slash = sFolder.lastIndexOf('/');
    if (slash >= 0 && sFolder.endsWith('/'))
        slash = slash > 0 ? sFolder.lastIndexOf('/', slash - 1) : -1;
    return slash < 0 ? QByteArray() : sFolder.left(slash + 1);
}

// The folder as shown: the shared folder as the owner chose it, the names
// below it proper-cased.
QByteArray SharedFoldersModule::shownFolder(const QByteArray& folder, qsizetype maxBytes) const {
    const auto share = m_shares.Folders().sharingParentOf(folder);
    if (!share)
        return PathEnd(ShownPath(folder), maxBytes);
    QList<QByteArray> below = folder.mid(share->size()).split('/');
    for (QByteArray& name : below)
        name = ShownName(name);
    return PathEnd(ShownPath(*share) + below.join('/'), maxBytes);
}

void SharedFoldersModule::SendRootLevelPage(CPacket& packet, int page, qint64 linkIndex) {
    const FolderPagePosition position =
        FolderPagePosition::Of(m_context.Links(), linkIndex, page, RootLevelEntries);
    const QList<QByteArray>& folders = m_shares.Folders().folders();
    CDeck deck;
    const auto paragraph = SiteContext::NewPage(deck, "Folders", "Folders");
    if (folders.isEmpty()) {
        paragraph->NormalText("There are no files currently being shared at this Pocketlane site.",
                              true);
    } else {
        paragraph->BoldUnderlinedText("Root Level Pg:" + QByteArray::number(page), true);
        DeckLengthWatch watch(deck, *paragraph, DeckLengthLimit);
        qint64 next = position.first;
        while (next < position.first + RootLevelEntries && next < folders.size()) {
            const QByteArray& folder = folders.at(next++);
            paragraph->AddAnchor(PathEnd(ShownPath(folder), ListedPathBytes),
                                 m_context.Links().MakeLink({}, folder, {}, 1, "F", {}, {}, {}));
            paragraph->AddLineBreak(1);
            watch.EntryAdded();
            if (watch.PastLimit())
                break;
        }
        if (page > 1) {
            paragraph->AddLineBreak(1);
            paragraph->AddAnchor("<<Back", FolderPagePosition::LinkToShownPage(m_context.Links(),
                                                                               position.shownBefore,
                                                                               {}, {}, page - 1));
        }
        if (next < folders.size()) {
            paragraph->AddLineBreak(1);
            paragraph->AddAnchor("Next>>", position.NextPageLink(m_context.Links(), {}, {}, page,
                                                                 RootLevelEntries, next));
        }
    }
    m_context.AddMainMenuAnchor(*paragraph);
    m_context.Log(LogDetail, "Main folder menu sent to user");
    SiteContext::SendDeck(packet, deck);
}

void SharedFoldersModule::SendFolderPage(CPacket& packet, const QByteArray& U,
                                         const QByteArray& folder, int page, qint64 linkIndex) {
    const QByteArray D = folder.endsWith('/') ? folder : folder + '/';
    m_folders.WithListingOf(
        packet, D,
        [this, U, D, page, linkIndex](CPacket& answered, const FolderReader::Listing& listing) {
            sendFolderPage(answered, U, D, page, linkIndex, *listing);
        });
}

void SharedFoldersModule::sendFolderPage(CPacket& packet, const QByteArray& U, const QByteArray& D,
                                         int page, qint64 linkIndex, const SortedListing& listing) {
    const FolderPagePosition position =
        FolderPagePosition::Of(m_context.Links(), linkIndex, page, FolderPageEntries);
    CDeck deck;
    const auto paragraph = SiteContext::NewPage(deck, "Files", "Files");
    paragraph->AddAnchor(
        "[<]" + shownFolder(D, ListedPathBytes),
        m_context.Links().MakeLink(DetermineParentFolder(U), U, {}, 1, "F", {}, {}, {}));
    paragraph->AddLineBreak(1);

    DeckLengthWatch watch(deck, *paragraph, DeckLengthLimit);
    const auto listEntry = [&](const QByteArray& title, const QByteArray& link) {
        paragraph->AddAnchor(title, link);
        paragraph->AddLineBreak(1);
        watch.EntryAdded();
    };
    qint64 next = position.first;
    while (next < listing.Size() && next < position.first + FolderPageEntries) {
        const bool isFolder = listing.IsDirectory(next);
        // Sub folders that fill a page to the length limit leave the files
        // to the next page.
        const bool firstFileAfterFolders = !isFolder && next > 0 && listing.IsDirectory(next - 1);
        if (firstFileAfterFolders && watch.AtLimit())
            break;
        const QByteArray name = listing.Name(next++);
        const QByteArray shown = SafeText::LeftCharacters(ShownName(name), ShownNameCharacters);
        if (isFolder)
            listEntry("[D] " + shown,
                      m_context.Links().MakeLink(D, D + name, {}, 1, "F", {}, {}, {}));
        else
            listEntry(shown, m_context.Links().MakeLink(U, D, name, qint16(page), "F", {},
                                                        position.followedLink, {}));
        if (watch.PastLimit())
            break;
    }
    if (page > 1) {
        paragraph->AddLineBreak(1);
        paragraph->AddAnchor("Back to Page " + QByteArray::number(page - 1),
                             FolderPagePosition::LinkToShownPage(
                                 m_context.Links(), position.shownBefore, U, D, page - 1));
    }
    if (next < listing.Size()) {
        paragraph->AddLineBreak(1);
        paragraph->AddAnchor(
            "Forward to Page " + QByteArray::number(page + 1),
            position.NextPageLink(m_context.Links(), U, D, page, FolderPageEntries, next));
    }
    paragraph->AddLineBreak(1);
    paragraph->AddAnchor("[-] Root Level",
                         m_context.Links().MakeLink({}, {}, {}, 1, "F", {}, {}, {}));
    m_context.AddMainMenuAnchor(*paragraph);
    m_context.Log(LogDetail,
                  "Page " + QByteArray::number(page) + " of folder " + D + " sent to user");
    SiteContext::SendDeck(packet, deck);
}

void SharedFoldersModule::SendFileDetailsPage(CPacket& packet, const QByteArray& U,
                                              const QByteArray& D, const QByteArray& F, int page,
                                              qint64 linkIndex) {
    const FolderPagePosition position =
        FolderPagePosition::Of(m_context.Links(), linkIndex, page, FolderPageEntries);
    const QByteArray name = ShownName(F);
    CDeck deck;
    const auto paragraph = SiteContext::NewPage(deck, name, "Files");
    paragraph->AddAnchor(
        "[<]" + shownFolder(D, DetailsPathBytes),
        FolderPagePosition::LinkToShownPage(m_context.Links(), position.shownBefore, U, D, page));
    paragraph->AddLineBreak(1);

    // A file that has left the shared folders shows as a vanished one.
    const QByteArray path = D + F;
    const FileSystem::FindData entry = FileSystem::GetFindData(m_shares.Open(path, O_PATH));
    paragraph->BoldText("Filename: ");
    paragraph->NormalText(name, true);
    paragraph->BoldText("Size: ");
    paragraph->NormalText(FileTypes::FormatFileSize(entry.size) + " bytes", true);
    paragraph->BoldText("Date: ");
    paragraph->NormalText(FileTypes::FormatFileDate(entry.creationTime), true);

    const QByteArray fileLink = m_context.Links().RegisterFileLink(path);
    switch (FileTypes::KindOfExtension(FileTypes::FileExtension(F))) {
    case FileTypes::FileKind::Picture:
        addPicture(*paragraph, packet, path, fileLink, name);
        break;
    case FileTypes::FileKind::Download:
        paragraph->AddAnchor("Download File", fileLink);
        break;
    case FileTypes::FileKind::Unsupported:
        paragraph->NormalText("Unsupported file type.", true);
        break;
    }
    m_context.AddMainMenuAnchor(*paragraph);
    SiteContext::SendDeck(packet, deck);
}

// The picture itself when the phone can show it as it is; else the picture
// made to fit the phone, and the file itself as a download for a phone that
// takes its type.
void SharedFoldersModule::addPicture(CParagraph& paragraph, const CPacket& packet,
                                     const QByteArray& path, const QByteArray& fileLink,
                                     const QByteArray& name) {
    const QByteArray type = FileTypes::ContentTypeOfExtension(
        FileTypes::FileExtension(path.mid(path.lastIndexOf('/') + 1)));
    const PhoneDisplay::PictureView phone =
        PhoneDisplay::FromHeaders(packet.Headers()).ForPicture(type);
    if (fitsThePhone(path, type, phone)) {
        paragraph.AddImage(fileLink, name, 1);
        return;
    }
    paragraph.AddImage(m_context.Links().RegisterFileLink(path, true), name, 1);
    if (phone.shownAsIs) {
        paragraph.AddLineBreak(1);
        paragraph.AddAnchor("Download File", fileLink);
    }
}

// A picture that cannot be read, or may not be decoded, is shown as it is.
bool SharedFoldersModule::fitsThePhone(const QByteArray& path, const QByteArray& type,
                                       const PhoneDisplay::PictureView& phone) const {
    const FileSystem::Descriptor file = m_shares.Open(path, O_RDONLY | O_NONBLOCK);
    return !file || !m_pictures.TargetFor(file.Get(), type, phone, true);
}
