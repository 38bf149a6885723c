#include "site/Site.h"

#include "base/PocketlaneError.h"
#include "base/SafeText.h"
#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "http/WapServer.h"
#include "settings/Settings.h"
#include "site/FileSender.h"
#include "site/LinkTables.h"
#include "site/SiteModule.h"
#include "site/SitePages.h"

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

Site::Site(WapServer& server, SitePages& pages, FileSender& files, QObject* parent)
    : QObject(parent)
    , m_pages(pages)
    , m_files(files) {
    // Links from before a stop must not lead anywhere after the next start.
    connect(&server, &WapServer::Stopped, this, [this] { m_pages.Links().Erase(); });
}

void Site::HandleRequest(const std::shared_ptr<CPacket>& packet) {
    ProcessRequest(*packet);
}

void Site::ProcessRequest(CPacket& packet) {
    if (packet.Variables().Count() == 0 && packet.Root() != "/") {
        m_pages.Log(LogDetail, "Received unknown request. Error sent to user. Request was: " +
                                   SafeText::ForLog(packet.Root(), LoggedPathCharacters));
        m_pages.SendErrorPage(packet, "An unknown request was sent to Pocketlane.");
        return;
    }
    if (packet.Variables().Contains("S"))
        processLinkState(packet);
    else
        processEntry(packet);
}

void Site::processEntry(CPacket& packet) {
    const TextCollection& variables = packet.Variables();
    const bool passwordOn = m_pages.Options().enablePassword();
    if (passwordOn && !variables.Contains("P")) {
        if (!variables.Contains("F") || !variables.Contains("K")) {
            m_pages.SendWelcomePage(packet);
            return;
        }
        m_pages.TakeGuess(packet, [this](CPacket& later) {
            if (!fileLinkKeyMatches(later)) {
                m_pages.SendWelcomePage(later);
                return false;
            }
            m_files.SendDownload(later, *LinkNumber(later.Variables().Item("F")));
            return true;
        });
        return;
    }
    if (!passwordOn) {
        enter(packet);
        return;
    }
    m_pages.TakeGuess(packet, [this](CPacket& later) {
        if (SafeText::Utf8FromPhone(later.Variables().Item("P")) != m_pages.Options().password()) {
            m_pages.SendMessagePage(later, "The password you supplied is incorrect.",
                                    FollowUpSplashScreen);
            return false;
        }
        enter(later);
        return true;
    });
}

// Past the password step: a download, or the entry of the site.
void Site::enter(CPacket& packet) {
    const TextCollection& variables = packet.Variables();
    const Settings& settings = m_pages.Options();
    if (variables.Contains("F")) {
        if (const auto index = LinkNumber(variables.Item("F")))
            m_files.SendDownload(packet, *index);
        else
            m_pages.SendErrorPage(packet, MalformedLinkMessage);
        return;
    }
    const bool welcomeShown = settings.enablePassword()
                                  ? settings.password().isEmpty()
                                  : settings.showWelcomeGraphic() || settings.showWelcomeMessage();
    if (welcomeShown)
        m_pages.SendWelcomePage(packet);
    else
        m_pages.SendMainMenu(packet);
}

bool Site::fileLinkKeyMatches(const CPacket& packet) const {
    const auto index = LinkNumber(packet.Variables().Item("F"));
    const FileLink* file = index ? m_pages.Links().FindFileLink(*index) : nullptr;
    return file && !file->key.isEmpty() && packet.Variables().Contains("K") &&
           packet.Variables().Item("K") == file->key;
}

void Site::processLinkState(CPacket& packet) {
    if (!m_pages.Options().enablePassword()) {
        if (const auto index = LinkNumber(packet.Variables().Item("S")))
            HandleAction(packet, *index);
        else
            m_pages.SendErrorPage(packet, MalformedLinkMessage);
        return;
    }
    if (!packet.Variables().Contains("K")) {
        m_pages.SendMessagePage(packet, PasswordProtectedMessage, FollowUpSplashScreen);
        return;
    }
    m_pages.TakeGuess(packet, [this](CPacket& later) {
        const auto index = LinkNumber(later.Variables().Item("S"));
        const LinkState* state = index ? m_pages.Links().FindLinkState(*index) : nullptr;
        if (!state || later.Variables().Item("K") != state->K) {
            m_pages.SendMessagePage(later, PasswordProtectedMessage, FollowUpSplashScreen);
            return false;
        }
        HandleAction(later, *index);
        return true;
    });
}

void Site::HandleAction(CPacket& packet, qint64 index) {
    const LinkState* state = m_pages.Links().FindLinkState(index);
    if (!state) {
        m_pages.SendErrorPage(packet, SitePages::TimedOutMessage);
        return;
    }
    const LinkState link = *state; // pages add records, which may move the table's slots
    try {
        for (SiteModule* module : m_pages.Modules()) {
            if (module->Letter() == link.M) {
                module->HandleLink(packet, link, index);
                return;
            }
        }
        m_pages.SendMainMenu(packet);
    } catch (const PocketlaneError& error) {
        m_pages.StatusLogModel().LogStatus(LogError,
                                           QStringLiteral("HandleAction - ") + error.Description());
    }
}
