#include "site/Site.h"

#include "base/PocketlaneError.h"
#include "base/SafeText.h"
#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "http/WapServer.h"
#include "settings/Settings.h"
#include "site/SiteContext.h"
#include "site/SiteLinks.h"
#include "site/SiteModule.h"

#include <algorithm>
#include <optional>

namespace {

const QByteArray PasswordProtectedMessage =
    "This Pocketlane site is password protected. You must enter from the main page.";
// A link number followed by anything, or no number at all: not a link this
// site made, so neither the page it seems to name nor a timed-out session.
const QByteArray MalformedLinkMessage = "A malformed link was sent to Pocketlane.";

// How much of an unknown request's path the log keeps.
constexpr qsizetype LoggedPathCharacters = 200;

// The record number a link carries: decimal digits and nothing else; -1
// (no record) for one too large to be any. Nothing when the text is not a
// number.
std::optional<qint64> LinkNumber(const QByteArray& text) {
    if (text.isEmpty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? value : -1;
}

} // namespace

Site::Site(WapServer& server, const SiteContext& context, const ShareAccess& shares,
           PictureAdapter& pictures, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_pages(context, m_modules)
    , m_files(context, shares, pictures,
              [this](CPacket& packet, const QByteArray& message) {
                  m_pages.SendMessagePage(packet, message, FollowUpSplashScreen);
              })
    , m_tryAgain([this](CPacket& busy) {
        m_pages.SendMessagePage(busy, SitePages::TryAgainMessage, FollowUpSplashScreen);
    }) {
    // Links from before a stop must not lead anywhere after the next start.
    connect(&server, &WapServer::Stopped, this, [this] { m_context.Links().Erase(); });
}

void Site::AddModule(SiteModule& module) {
    m_modules.push_back(&module);
}

void Site::HandleRequest(const std::shared_ptr<CPacket>& packet) {
    ProcessRequest(*packet);
}

void Site::ProcessRequest(CPacket& packet) {
    const Route chosen = route(packet);
    sendAnswer(packet, chosen);
}

Site::Route Site::route(const CPacket& packet) const {
    if (packet.Variables().Count() == 0 && packet.Root() != "/")
        return {Answer::UnknownRequest};
    return packet.Variables().Contains("S") ? routeLinkState(packet) : routeEntry(packet);
}

Site::Route Site::routeEntry(const CPacket& packet) const {
    const TextCollection& variables = packet.Variables();
    if (!m_context.Options().enablePassword())
        return entered(packet);
    if (variables.Contains("P"))
        return {Answer::PasswordGuess};
    if (!variables.Contains("F") || !variables.Contains("K"))
        return {Answer::WelcomePage};
    return {Answer::FileKeyGuess};
}

// Past the password step: a download, or the entry of the site.
Site::Route Site::entered(const CPacket& packet) const {
    const TextCollection& variables = packet.Variables();
    const Settings& settings = m_context.Options();
    if (variables.Contains("F")) {
        if (const auto index = LinkNumber(variables.Item("F")))
            return {Answer::Download, *index};
        return {Answer::MalformedLink};
    }
    const bool welcomeShown = settings.enablePassword()
                                  ? settings.password().isEmpty()
                                  : settings.showWelcomeGraphic() || settings.showWelcomeMessage();
    return {welcomeShown ? Answer::WelcomePage : Answer::MainMenu};
}

Site::Route Site::routeLinkState(const CPacket& packet) const {
    if (!m_context.Options().enablePassword()) {
        if (const auto index = LinkNumber(packet.Variables().Item("S")))
            return routeAction(*index);
        return {Answer::MalformedLink};
    }
    if (!packet.Variables().Contains("K"))
        return {Answer::PasswordProtected};
    return {Answer::LinkKeyGuess};
}

Site::Route Site::routeAction(qint64 index) const {
    const LinkState* state = m_context.Links().FindLinkState(index);
    if (!state)
        return {Answer::TimedOut};
    for (SiteModule* module : m_modules) {
        if (module->Letter() == state->M)
            // The record is copied: pages add records, which may move the
            // table's slots.
            return {Answer::ModulePage, index, module, *state};
    }
    return {Answer::MainMenu};
}

std::optional<Site::Route> Site::rightGuess(const CPacket& packet, Answer guess) const {
    const TextCollection& variables = packet.Variables();
    const SiteLinks& links = m_context.Links();
    if (guess == Answer::PasswordGuess) {
        if (SafeText::Utf8FromPhone(variables.Item("P")) != m_context.Options().password())
            return std::nullopt;
        return entered(packet);
    }
    if (guess == Answer::FileKeyGuess) {
        const auto index = LinkNumber(variables.Item("F"));
        const FileLink* file = index ? links.FindFileLink(*index) : nullptr;
        if (!file || file->key.isEmpty() || !variables.Contains("K") ||
            variables.Item("K") != file->key)
            return std::nullopt;
        return Route{Answer::Download, *index};
    }
    const auto index = LinkNumber(variables.Item("S"));
    const LinkState* state = index ? links.FindLinkState(*index) : nullptr;
    if (!state || variables.Item("K") != state->K)
        return std::nullopt;
    return routeAction(*index);
}

Site::Answer Site::wrongGuess(Answer guess) {
    if (guess == Answer::PasswordGuess)
        return Answer::WrongPassword;
    return guess == Answer::FileKeyGuess ? Answer::WelcomePage : Answer::PasswordProtected;
}

// Each answer goes out from one place: the module, the guess throttle, the
// file sender, or else the core page of the answer.
void Site::sendAnswer(CPacket& packet, const Route& route) {
    const SitePages::Page page = corePage(route.answer);
    switch (route.answer) {
    case Answer::ModulePage:
        HandleAction(packet, route);
        return;
    case Answer::PasswordGuess:
    case Answer::FileKeyGuess:
    case Answer::LinkKeyGuess:
        // A password or a key is checked when its turn comes.
        m_context.Guesses().TakeTurn(
            packet,
            [this, guess = route.answer](CPacket& later) { return answerGuess(later, guess); },
            m_tryAgain);
        return;
    case Answer::Download:
        m_files.SendDownload(packet, route.index);
        return;
    case Answer::UnknownRequest:
        m_context.StatusLogModel().LogStatus(
            LogDetail,
            QString::fromUtf8("Received unknown request. Error sent to user. Request was: " +
                              SafeText::ForLog(packet.Root(), LoggedPathCharacters)));
        break;
    default:
        break;
    }
    m_pages.Send(packet, page);
}

SitePages::Page Site::corePage(Answer answer) {
    using Page = SitePages::Page;
    switch (answer) {
    case Answer::UnknownRequest:
        return {Page::Error, "An unknown request was sent to Pocketlane."};
    case Answer::MalformedLink:
        return {Page::Error, MalformedLinkMessage};
    case Answer::TimedOut:
        return {Page::Error, SitePages::TimedOutMessage};
    case Answer::WelcomePage:
        return {Page::Welcome};
    case Answer::PasswordProtected:
        return {Page::Message, PasswordProtectedMessage};
    case Answer::WrongPassword:
        return {Page::Message, "The password you supplied is incorrect."};
    default:
        return {Page::MainMenu};
    }
}

void Site::HandleAction(CPacket& packet, const Route& route) {
    try {
        route.module->HandleLink(packet, route.link, route.index);
    } catch (const PocketlaneError& error) {
        m_context.StatusLogModel().LogStatus(LogError, QStringLiteral("HandleAction - ") +
                                                           error.Description());
    }
}

// A right guess leads on as though no password were asked.
bool Site::answerGuess(CPacket& packet, Answer guess) {
    const std::optional<Route> right = rightGuess(packet, guess);
    sendAnswer(packet, right ? *right : Route{wrongGuess(guess)});
    return right.has_value();
}
