#include "site/mycomputer/MyComputerModule.h"

#include "base/SafeText.h"
#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "settings/Settings.h"
#include "site/GuessThrottle.h"
#include "site/LinkTables.h"
#include "site/SiteContext.h"
#include "site/SitePages.h"
#include "site/mycomputer/basShutdown.h"
#include "wml/WmlDeck.h"
#include "wml/WmlParagraph.h"

#include <QDBusConnection>

#include <optional>

struct MyComputerModule::Action {
    QByteArray letter;           // the link's A field
    QByteArray label;            // menu entry and page title
    std::optional<quint32> code; // none: this program ends
};

namespace {

using Action = MyComputerModule::Action;

// In menu order.
const Action Actions[] = {
    {"L", "Logoff PC", basShutdown::EwxLogoff}, {"P", "Poweroff PC", basShutdown::EwxPowerOff},
    {"R", "Reboot PC", basShutdown::EwxReboot}, {"X", "Shutdown PC", basShutdown::EwxShutdown},
    {"S", "Shutdown Pocketlane", std::nullopt},
};

const Action* ActionWithLetter(const QByteArray& letter) {
    for (const Action& action : Actions) {
        if (action.letter == letter)
            return &action;
    }
    return nullptr;
}

} // namespace

MyComputerModule::MyComputerModule(const SiteContext& context, SitePages& pages,
                                   std::function<void()> endProgram)
    : m_context(context)
    , m_pages(pages)
    , m_endProgram(std::move(endProgram)) {}

bool MyComputerModule::IsEnabled() const {
    return m_context.Options().enableMyComputer();
}

void MyComputerModule::HandleLink(CPacket& packet, const LinkState& link, qint64 index) {
    if (link.A.size() == 1 && QByteArray("RXPLS").contains(link.A))
        HandleMyComputerAction(packet, link.A, index);
    else
        SendMyComputerMenu(packet);
}

void MyComputerModule::SendMyComputerMenu(CPacket& packet) {
    // Links handed out while the module was on must not work once the owner
    // has turned it off.
    if (!m_context.Options().enableMyComputer()) {
        m_pages.SendMainMenu(packet);
        return;
    }
    CDeck deck;
    const auto paragraph = SiteContext::NewPage(deck, "My Computer", "mycomputer");
    for (const Action& action : Actions) {
        paragraph->AddAnchor(action.label, m_context.ModuleLink("M", action.letter));
        paragraph->AddLineBreak(1);
    }
    m_context.AddMainMenuAnchor(*paragraph);
    SiteContext::SendDeck(packet, deck);
}

void MyComputerModule::HandleMyComputerAction(CPacket& packet, const QByteArray& letter,
                                              qint64 linkIndex) {
    const Action* action = ActionWithLetter(letter);
    if (!action) {
        SendMyComputerMenu(packet);
        return;
    }
    if (!m_context.Options().enableMyComputer()) {
        m_context.Log(LogError,
                      "User tried to " + action->label + ", but My Computer is not enabled.");
        m_pages.SendMainMenu(packet);
        return;
    }
    const TextCollection& variables = packet.Variables();
    if (m_context.Options().enableMyComputerPassword()) {
        if (!variables.Contains("P")) {
            sendActionPage(packet, *action);
            return;
        }
        takePasswordGuess(packet, *action);
        return;
    }
    if (const LinkState* followed = m_context.Links().FindLinkState(linkIndex);
        !followed || followed->C.isEmpty()) {
        sendActionPage(packet, *action);
        return;
    }
    carryOut(packet, *action);
}

// A typed password is a guess: checked when its turn comes.
void MyComputerModule::takePasswordGuess(CPacket& packet, const Action& action) {
    const auto guess = [this, &action](CPacket& later) {
        if (SafeText::Utf8FromPhone(later.Variables().Item("P")) ==
            m_context.Options().myComputerPassword()) {
            carryOut(later, action);
            return true;
        }
        m_context.Log(LogError, "User tried to " + action.label + ", but gave incorrect password.");
        m_pages.SendMessagePage(
            later, "The password you supplied was incorrect. " + action.label + " disallowed.",
            FollowUpMainMenu);
        return false;
    };
    m_context.Guesses().TakeTurn(packet, guess, [this](CPacket& busy) {
        m_pages.SendMessagePage(busy, SitePages::TryAgainMessage, FollowUpMainMenu);
    });
}

// The second step: the password form while the password option is on, the
// Yes link of a confirmation otherwise.
void MyComputerModule::sendActionPage(CPacket& packet, const Action& action) {
    CDeck deck;
    const auto paragraph = SiteContext::NewPage(deck, action.label, "mycomputer");
    if (m_context.Options().enableMyComputerPassword()) {
        paragraph->NormalText("Please enter your password to " + action.label, true);
        paragraph->AddLineBreak(1);
        paragraph->AddInput("P", 0, {}, 0, false, true);
        paragraph->AddLineBreak(1);
        paragraph->AddAnchor(action.label, m_context.ModuleLink("M", action.letter, "&P=$(P)"));
    } else {
        paragraph->NormalText("Are you sure you want to " + action.label + "?", true);
        paragraph->AddLineBreak(1);
        paragraph->AddAnchor(
            "Yes", m_context.Links().MakeLink({}, {}, {}, 1, "M", action.letter, "Y", {}));
    }
    paragraph->AddLineBreak(1);
    m_context.AddMainMenuAnchor(*paragraph);
    SiteContext::SendDeck(packet, deck);
}

// The closing message goes to the connection first; a failure to send it
// ends the request before anything is carried out.
void MyComputerModule::carryOut(CPacket& packet, const Action& action) {
    m_context.Log(LogNotice, "User requested " + action.label);
    m_pages.SendMessagePage(packet, "Attempting " + action.label + " now. Goodbye!",
                            FollowUpPoweredBy);
    if (!action.code) {
        basShutdown::ShutdownPocketlane(packet, m_endProgram);
        return;
    }
    // logind says no to what this program may not do; the refusal is logged
    // there and nothing happens.
    const QDBusConnection bus =
        m_sessionEndBus.isEmpty() ? QDBusConnection::systemBus() : QDBusConnection(m_sessionEndBus);
    const Settings& settings = m_context.Options();
    basShutdown::ShutdownWindows(*action.code, settings.force(), settings.forceIfHung(),
                                 &m_context.StatusLogModel(), {}, bus);
}
