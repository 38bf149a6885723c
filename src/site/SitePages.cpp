#include "site/SitePages.h"

#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "settings/Settings.h"
#include "site/LinkTables.h"
#include "site/SiteModule.h"
#include "wml/WmlDeck.h"
#include "wml/WmlParagraph.h"

namespace {
const QByteArray SplashLogLine = "New user logging in. Sending splash screen.";
} // namespace

SitePages::SitePages(StatusLog& log, const Settings& settings, SiteLinks& links)
    : m_log(log)
    , m_settings(settings)
    , m_links(links)
    , m_guesses(log) {}

void SitePages::AddModule(SiteModule& module) {
    m_modules.push_back(&module);
}

void SitePages::SendErrorPage(CPacket& packet, const QByteArray& message) {
    CDeck deck;
    const auto paragraph = NewPage(deck, "Error", "Error");
    paragraph->NormalText("An error has occured, and you will be returned to the main menu when "
                          "you select the following link:",
                          true);
    paragraph->AddGoAnchor("Main Menu", "/");
    paragraph->AddLineBreak(2);
    paragraph->BoldUnderlinedText("Error Message", true);
    paragraph->NormalText(message, true);
    SendDeck(packet, deck);
    Log(LogError, message);
}

void SitePages::TakeGuess(CPacket& packet, GuessThrottle::Guess guess, int tryAgainFollowUp) {
    m_guesses.TakeTurn(packet, std::move(guess), [this, tryAgainFollowUp](CPacket& busy) {
        SendMessagePage(busy, TryAgainMessage, tryAgainFollowUp);
    });
}

void SitePages::SendMessagePage(CPacket& packet, const QByteArray& message, int followUp) {
    CDeck deck;
    const auto paragraph = NewPage(deck, "Pocketlane", "Pocketlane");
    paragraph->NormalText(message, true);
    paragraph->AddLineBreak(1);
    if (followUp == FollowUpSplashScreen)
        paragraph->AddGoAnchor("Splash Screen", "/");
    else if (followUp == FollowUpMainMenu)
        paragraph->AddGoAnchor("Main Menu", m_links.MakeMainMenuLink());
    else if (followUp == FollowUpPoweredBy)
        paragraph->BoldText("Powered by Pocketlane", true);
    SendDeck(packet, deck);
    Log(LogDetail, "Message to user:" + message);
}

void SitePages::SendWelcomePage(CPacket& packet) {
    CDeck deck;
    const auto paragraph = NewPage(deck, "Pocketlane", "Pocketlane");
    if (m_settings.showWelcomeGraphic()) {
        paragraph->AddImage(m_links.RegisterFileLink(m_settings.welcomeGraphicFilename()),
                            "Welcome!", 1);
        paragraph->AddLineBreak(1);
    }
    if (m_settings.showWelcomeMessage()) {
        paragraph->NormalText(m_settings.welcomeMessageText(), true);
        paragraph->AddLineBreak(1);
    }
    if (m_settings.enablePassword()) {
        paragraph->NormalText("Please enter Password:", true);
        paragraph->AddLineBreak(1);
        paragraph->AddInput("P", 0, {}, 0, false, true);
        paragraph->AddLineBreak(1);
        paragraph->AddAnchor("Login", "/?P=$(P)");
    } else {
        paragraph->AddAnchor("Enter", m_links.MakeMainMenuLink());
    }
    paragraph->AddLineBreak(2);
    paragraph->NormalText("Powered by Pocketlane", true);
    SendDeck(packet, deck);
    Log(LogNotice, SplashLogLine);
}

void SitePages::SendMainMenu(CPacket& packet) {
    CDeck deck;
    const auto paragraph = NewPage(deck, "Main Menu", "MainMenu");
    bool anyModule = false;
    for (SiteModule* module : m_modules) {
        if (!module->IsEnabled())
            continue;
        anyModule = true;
        paragraph->AddAnchor(module->MenuTitle(), ModuleLink(module->Letter()));
        paragraph->AddLineBreak(1);
    }
    if (!anyModule)
        paragraph->NormalText(
            "The owner of this site is not currently allowing any modules to be run.", true);
    paragraph->AddLineBreak(1);
    paragraph->NormalText("Powered by Pocketlane", true);
    SendDeck(packet, deck);
    Log(LogNotice, SplashLogLine);
}

std::shared_ptr<CParagraph> SitePages::NewPage(CDeck& deck, const QByteArray& title,
                                               const QByteArray& id) {
    return deck.AddNewCard(title, id)->AddNewParagraph();
}

void SitePages::SendDeck(CPacket& packet, const CDeck& deck) {
    packet.SendResponse(deck.GetWML(), HttpOk);
}

QByteArray SitePages::ModuleLink(const QByteArray& module, const QByteArray& action,
                                 const QByteArray& suffix) {
    return m_links.MakeLink({}, {}, {}, 1, module, action, {}, suffix);
}

void SitePages::AddMainMenuAnchor(CParagraph& paragraph) {
    paragraph.AddLineBreak(1);
    paragraph.AddAnchor("[^] Main Menu", m_links.MakeMainMenuLink());
}

void SitePages::Log(int level, const QByteArray& text) {
    m_log.LogStatus(level, QString::fromUtf8(text));
}
