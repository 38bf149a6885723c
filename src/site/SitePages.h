#pragma once

#include <QByteArray>

#include <vector>

class CPacket;
class SiteContext;
class SiteModule;

// What follows the text of a message page.
enum MessageFollowUp { FollowUpSplashScreen = 0, FollowUpMainMenu = 1, FollowUpPoweredBy = 2 };

// The site's four core pages, which the dispatcher and the modules call:
// the error page, the message page, the welcome page and the main menu.
class SitePages {
public:
    // The answer to a link that leads nowhere (any more).
    static constexpr char TimedOutMessage[] = "This session has timed out or Pocketlane has been "
                                              "restarted since you started this session.";
    // The answer to a guess that finds too many waiting before it.
    static constexpr char TryAgainMessage[] = "Pocketlane is busy. Please try again in a moment.";

    // The main menu lists modules, in its order, as the dispatcher holds them.
    SitePages(const SiteContext& context, const std::vector<SiteModule*>& modules);

    void SendErrorPage(CPacket& packet, const QByteArray& message);
    void SendMessagePage(CPacket& packet, const QByteArray& message, int followUp);
    void SendWelcomePage(CPacket& packet);
    void SendMainMenu(CPacket& packet);

private:
    const SiteContext& m_context;
    const std::vector<SiteModule*>& m_modules;
};
