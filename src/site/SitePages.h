#pragma once

#include <QByteArray>

#include <vector>

class CDeck;
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

    // One of the four pages, decided before it is sent: which one, and the
    // message of an error or message page.
    struct Page {
        enum Kind { Error, Message, Welcome, MainMenu };
        Kind kind;
        QByteArray message = {};
        int followUp = FollowUpSplashScreen;
    };

    // The main menu lists modules, in its order, as the dispatcher holds them.
    SitePages(const SiteContext& context, const std::vector<SiteModule*>& modules);

    // Builds the page, sends it and logs it.
    void Send(CPacket& packet, const Page& page);
    void SendErrorPage(CPacket& packet, const QByteArray& message) {
        Send(packet, {Page::Error, message});
    }
    void SendMessagePage(CPacket& packet, const QByteArray& message, int followUp) {
        Send(packet, {Page::Message, message, followUp});
    }
    void SendWelcomePage(CPacket& packet) { Send(packet, {Page::Welcome}); }
    void SendMainMenu(CPacket& packet) { Send(packet, {Page::MainMenu}); }

private:
    static void fillErrorPage(CDeck& deck, const QByteArray& message);
    void fillMessagePage(CDeck& deck, const QByteArray& message, int followUp) const;
    void fillWelcomePage(CDeck& deck) const;
    void fillMainMenu(CDeck& deck) const;

    const SiteContext& m_context;
    const std::vector<SiteModule*>& m_modules;
};
