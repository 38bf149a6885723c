#pragma once

#include "http/RequestHandler.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QObject>

#include <memory>
#include <optional>

class CPacket;
class CParagraph;
class CDeck;
class GraffitiBoard;
class Settings;
class SharedFolderList;
class SiteLinks;
class StatusLog;
class WapServer;

// What follows the text of a message page.
enum MessageFollowUp { FollowUpSplashScreen = 0, FollowUpMainMenu = 1, FollowUpPoweredBy = 2 };

// The site: applies the site password to each request and answers it with
// the page it asks for. Links handed out on pages live in SiteLinks, which
// the site erases whenever the server stops.
class Site : public QObject, public RequestHandler {
    Q_OBJECT
public:
    Site(WapServer& server, StatusLog& log, const Settings& settings,
         const SharedFolderList& folders, GraffitiBoard& board, SiteLinks& links,
         QObject* parent = nullptr);

    void HandleRequest(const std::shared_ptr<CPacket>& packet) override;

    void ProcessRequest(CPacket& packet);
    void HandleAction(CPacket& packet, qint64 index);

    void SendErrorPage(CPacket& packet, const QByteArray& message);
    void SendMessagePage(CPacket& packet, const QByteArray& message, int followUp);
    void SendWelcomePage(CPacket& packet);
    void SendMainMenu(CPacket& packet);
    void SendGraffitiPage(CPacket& packet);
    void SendAddGraffitiPage(CPacket& packet);
    // Streams the file behind a file link; a missing entry or an unreadable
    // file is logged and the request dropped.
    void SendDownload(CPacket& packet, qint64 index);

    // Shared folders (modules/SharedFolderPages.cpp). linkIndex is the link
    // record that was followed (it may say where a cut-short listing goes on).
    void SendRootLevelPage(CPacket& packet, int page, qint64 linkIndex = -1);
    void SendFolderPage(CPacket& packet, const QByteArray& U, const QByteArray& D, int page,
                        qint64 linkIndex = -1);
    void SendFileDetailsPage(CPacket& packet, const QByteArray& U, const QByteArray& D,
                             const QByteArray& F, int page, qint64 linkIndex = -1);
    // Whether the folder, with or without one trailing "/", is a shared folder.
    bool IsRootFolder(const QByteArray& sFolder) const;
    // The parent folder with a trailing "/", or empty for a shared folder.
    QByteArray DetermineParentFolder(const QByteArray& sFolder) const;

    // My Computer (modules/MyComputerPages.cpp).
    struct MyComputerAction; // one entry of the menu: letter, label, action code
    void SendMyComputerMenu(CPacket& packet);
    // linkIndex is the link record that was followed (its C marks a
    // confirmed action).
    void HandleMyComputerAction(CPacket& packet, const QByteArray& action, qint64 linkIndex = -1);
    // The bus on which systemd-logind is asked to end the session or to
    // power the PC off; the system bus unless another one is set.
    void SetSessionEndBus(const QDBusConnection& bus) { m_sessionEndBus = bus; }

private:
    void processEntry(CPacket& packet);
    void processLinkState(CPacket& packet);
    bool fileLinkKeyMatches(const CPacket& packet) const;
    // A deck's single card and its paragraph, which every page fills.
    static std::shared_ptr<CParagraph> newPage(CDeck& deck, const QByteArray& title,
                                               const QByteArray& id);
    void sendDeck(CPacket& packet, const CDeck& deck);
    QByteArray moduleLink(const QByteArray& module, const QByteArray& action = {},
                          const QByteArray& suffix = {});
    void addMainMenuAnchor(CParagraph& paragraph);
    void log(int level, const QByteArray& text);
    void sendMyComputerActionPage(CPacket& packet, const MyComputerAction& action);
    void carryOutMyComputerAction(CPacket& packet, const MyComputerAction& action);
    // The canonical path of the shared folder that path lies in (by its
    // text) when the path, links resolved, still lies inside it; else empty.
    QByteArray canonicalShareHolding(const QByteArray& path) const;
    QByteArray shownFolder(const QByteArray& folder) const;

    StatusLog& m_log;
    const Settings& m_settings;
    const SharedFolderList& m_folders;
    GraffitiBoard& m_board;
    SiteLinks& m_links;
    std::optional<QDBusConnection> m_sessionEndBus;
};
