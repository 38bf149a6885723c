#pragma once

#include "site/GuessThrottle.h"

#include <QByteArray>

#include <memory>
#include <vector>

class CDeck;
class CPacket;
class CParagraph;
class Settings;
class SiteLinks;
class SiteModule;
class StatusLog;

// What follows the text of a message page.
enum MessageFollowUp { FollowUpSplashScreen = 0, FollowUpMainMenu = 1, FollowUpPoweredBy = 2 };

// The site's core pages, which the dispatcher and every module call, and
// the pieces every page is made of. It also knows the modules, in main-menu
// order.
class SitePages {
public:
    // The answer to a link that leads nowhere (any more).
    static constexpr char TimedOutMessage[] = "This session has timed out or Pocketlane has been "
                                              "restarted since you started this session.";
    // The answer to a guess that finds too many waiting before it.
    static constexpr char TryAgainMessage[] = "Pocketlane is busy. Please try again in a moment.";

    SitePages(StatusLog& log, const Settings& settings, SiteLinks& links);

    void AddModule(SiteModule& module);
    const std::vector<SiteModule*>& Modules() const { return m_modules; }

    void SendErrorPage(CPacket& packet, const QByteArray& message);
    void SendMessagePage(CPacket& packet, const QByteArray& message, int followUp);
    void SendWelcomePage(CPacket& packet);
    void SendMainMenu(CPacket& packet);

    // A deck's single card and its paragraph, which every page fills.
    static std::shared_ptr<CParagraph> NewPage(CDeck& deck, const QByteArray& title,
                                               const QByteArray& id);
    static void SendDeck(CPacket& packet, const CDeck& deck);
    // A link to page 1 of a module, with an action and a query suffix.
    QByteArray ModuleLink(const QByteArray& module, const QByteArray& action = {},
                          const QByteArray& suffix = {});
    // A line break and the "[^] Main Menu" link that ends module pages.
    void AddMainMenuAnchor(CParagraph& paragraph);

    void Log(int level, const QByteArray& text);
    StatusLog& StatusLogModel() { return m_log; }
    const Settings& Options() const { return m_settings; }
    SiteLinks& Links() { return m_links; }
    // Checks a guess of a password or a link key when its turn comes (see
    // GuessThrottle); when too many wait, the visitor is told to try again,
    // with the follow-up given.
    void TakeGuess(CPacket& packet, GuessThrottle::Guess guess,
                   int tryAgainFollowUp = FollowUpSplashScreen);

private:
    StatusLog& m_log;
    const Settings& m_settings;
    SiteLinks& m_links;
    std::vector<SiteModule*> m_modules;
    GuessThrottle m_guesses;
};
