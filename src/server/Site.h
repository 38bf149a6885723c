#pragma once

#include "server/SiteRequestHandler.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QObject>

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
class Site : public QObject, public SiteRequestHandler {
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

    // Shared folders (modules/SharedFolderPages.cpp).
    void SendRootLevelPage(CPacket& packet, int page);
    void SendFolderPage(CPacket& packet, const QByteArray& U, const QByteArray& D, int page);
    void SendFileDetailsPage(CPacket& packet, const QByteArray& U, const QByteArray& D,
                             const QByteArray& F, int page);

    // My Computer (modules/MyComputerPages.cpp).
    struct MyComputerAction; // one entry of the menu: letter, label, action code
    void SendMyComputerMenu(CPacket& packet);
    void HandleMyComputerAction(CPacket& packet, const QByteArray& action);
    // The bus on which systemd-logind is asked to end the session or to
    // power the PC off; the system bus unless another one is set.
    void SetSessionEndBus(const QDBusConnection& bus) { m_sessionEndBus = bus; }

private:
    void processEntry(CPacket& packet);
    void processLinkState(CPacket& packet);
    bool fileLinkKeyMatches(const CPacket& packet) const;
    void sendDeck(CPacket& packet, const CDeck& deck);
    QByteArray moduleLink(const QByteArray& module, const QByteArray& action = {},
                          const QByteArray& suffix = {});
    void addMainMenuAnchor(CParagraph& paragraph);
    void log(int level, const QByteArray& text);
    bool followedLinkIsConfirmed(const CPacket& packet) const;
    void sendMyComputerActionPage(CPacket& packet, const MyComputerAction& action);
    void carryOutMyComputerAction(CPacket& packet, const MyComputerAction& action);

    StatusLog& m_log;
    const Settings& m_settings;
    const SharedFolderList& m_folders;
    GraffitiBoard& m_board;
    SiteLinks& m_links;
    std::optional<QDBusConnection> m_sessionEndBus;
};
