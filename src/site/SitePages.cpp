#include "site/SitePages.h"

#include "base/StatusLog.h"
#include "settings/Settings.h"
#include "site/SiteContext.h"
#include "site/SiteLinks.h"
#include "site/SiteModule.h"
#include "wml/CDeck.h"
#include "wml/CParagraph.h"

namespace {
const QByteArray SplashLogLine = "New user logging in. Sending splash screen.";
} // namespace

SitePages::SitePages(const SiteContext& context, const std::vector<SiteModule*>& modules)
    : m_context(context)
    , m_modules(modules) {}

void SitePages::Send(CPacket& packet, const Page& page) {
    CDeck deck;
    if (page.kind == Page::Error)
        fillErrorPage(deck, page.message);
    else if (page.kind == Page::Message)
        fillMessagePage(deck, page.message, page.followUp);
    else if (page.kind == Page::Welcome)
        fillWelcomePage(deck);
    else
        fillMainMenu(deck);
    // What the log keeps of the page, once it is sent.
    const bool error = page.kind == Page::Error;
    const bool message = page.kind == Page::Message;
    const QByteArray line =
        error ? page.message : (message ? "Message to user:" + page.message : SplashLogLine);
    SiteContext::SendDeck(packet, deck);
    m_context.StatusLogModel().LogStatus(error ? LogError : (message ? LogDetail : LogNotice),
                                         QString::fromUtf8(line));
}

void SitePages::fillErrorPage(CDeck& deck, const QByteArray& message) {
    const auto paragraph = SiteContext::NewPage(deck, "Error", "Error");
    paragraph->NormalText("An error has occured, and you will be returned to the main menu when "
                          "you select the following link:",
                          true);
    paragraph->AddGoAnchor("Main Menu", "/");
    paragraph->AddLineBreak(2);
    paragraph->BoldUnderlinedText("Error Message", true);
    paragraph->NormalText(message, true);
}

void SitePages::fillMessagePage(CDeck& deck, const QByteArray& message, int followUp) const {
    const auto paragraph = SiteContext::NewPage(deck, "Pocketlane", "Pocketlane");
    paragraph->NormalText(message, true);
    paragraph->AddLineBreak(1);
    if (followUp == FollowUpSplashScreen)
        paragraph->AddGoAnchor("Splash Screen", "/");
    else if (followUp == FollowUpMainMenu)
        paragraph->AddGoAnchor("Main Menu", m_context.Links().MakeMainMenuLink());
    else if (followUp == FollowUpPoweredBy)
        paragraph->BoldText("Powered by Pocketlane", true);
}

void SitePages::fillWelcomePage(CDeck& deck) const {
    const Settings& settings = m_context.Options();
    const auto paragraph = SiteContext::NewPage(deck, "Pocketlane", "Pocketlane");
    if (settings.showWelcomeGraphic()) {
        paragraph->AddImage(m_context.Links().RegisterFileLink(settings.welcomeGraphicFilename()),
                            "Welcome!", 1);
        paragraph->AddLineBreak(1);
    }
    if (settings.showWelcomeMessage()) {
        paragraph->NormalText(settings.welcomeMessageText(), true);
        paragraph->AddLineBreak(1);
    }
    if (settings.enablePassword()) {
        paragraph->NormalText("Please enter Password:", true);
        paragraph->AddLineBreak(1);
        paragraph->AddInput("P", 0, {}, 0, false, true);
        paragraph->AddLineBreak(1);
        paragraph->AddAnchor("Login", "/?P=$(P)");
    } else {
        paragraph->AddAnchor("Enter", m_context.Links().MakeMainMenuLink());
    }
    paragraph->AddLineBreak(2);
    paragraph->NormalText("Powered by Pocketlane", true);
}

void SitePages::fillMainMenu(CDeck& deck) const {
    const auto paragraph = SiteContext::NewPage(deck, "Main Menu", "MainMenu");
    bool anyModule = false;
    for (SiteModule* module : m_modules) {
        if (!module->IsEnabled())
            continue;
        anyModule = true;
        paragraph->AddAnchor(module->MenuTitle(), m_context.ModuleLink(module->Letter()));
        paragraph->AddLineBreak(1);
    }
    if (!anyModule)
        paragraph->NormalText(
            "The owner of this site is not currently allowing any modules to be run.", true);
    paragraph->AddLineBreak(1);
    paragraph->NormalText("Powered by Pocketlane", true);
}
