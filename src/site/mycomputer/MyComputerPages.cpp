// The My Computer pages of the site: the menu, the confirmation and password
// steps, and the actions behind them.
#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "http/SocketElement.h"
#include "settings/Settings.h"
#include "site/LinkTables.h"
#include "site/Site.h"
#include "site/mycomputer/basShutdown.h"
#include "wml/WmlDeck.h"
#include "wml/WmlParagraph.h"

#include <QCoreApplication>

#include <optional>

struct Site::MyComputerAction {
    QByteArray letter;           // the link's A field
    QByteArray label;            // menu entry and page title
    std::optional<quint32> code; // none: this program ends
};

namespace {

using Action = Site::MyComputerAction;

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

void Site::SendMyComputerMenu(CPacket& packet) {
    // Links handed out while the module was on must not work once the owner
    // has turned it off.
    if (!m_settings.enableMyComputer()) {
        SendMainMenu(packet);
        return;
    }
    CDeck deck;
    const auto paragraph = newPage(deck, "My Computer", "mycomputer");
    for (const Action& action : Actions) {
        paragraph->AddAnchor(action.label, moduleLink("M", action.letter));
        paragraph->AddLineBreak(1);
    }
    addMainMenuAnchor(*paragraph);
    sendDeck(packet, deck);
}

void Site::HandleMyComputerAction(CPacket& packet, const QByteArray& letter, qint64 linkIndex) {
    const Action* action = ActionWithLetter(letter);
    if (!action) {
        SendMyComputerMenu(packet);
        return;
    }
    if (!m_settings.enableMyComputer()) {
        log(LogError, "User tried to " + action->label + ", but My Computer is not enabled.");
        SendMainMenu(packet);
        return;
    }
    const TextCollection& variables = packet.Variables();
    if (m_settings.enableMyComputerPassword()) {
        if (!variables.Contains("P")) {
            sendMyComputerActionPage(packet, *action);
            return;
        }
        if (variables.Item("P") != m_settings.myComputerPassword()) {
            log(LogError, "User tried to " + action->label + ", but gave incorrect password.");
            SendMessagePage(packet,
                            "The password you supplied was incorrect. " + action->label +
                                " disallowed.",
                            FollowUpMainMenu);
            return;
        }
    } else if (const LinkState* followed = m_links.FindLinkState(linkIndex);
               !followed || followed->C.isEmpty()) {
        sendMyComputerActionPage(packet, *action);
        return;
    }
    carryOutMyComputerAction(packet, *action);
}

// The second step: the password form while the password option is on, the
// Yes link of a confirmation otherwise.
void Site::sendMyComputerActionPage(CPacket& packet, const MyComputerAction& action) {
    CDeck deck;
    const auto paragraph = newPage(deck, action.label, "mycomputer");
    if (m_settings.enableMyComputerPassword()) {
        paragraph->NormalText("Please enter your password to " + action.label, true);
        paragraph->AddLineBreak(1);
        paragraph->AddInput("P", 0, {}, 0, false, true);
        paragraph->AddLineBreak(1);
        paragraph->AddAnchor(action.label, moduleLink("M", action.letter, "&P=$(P)"));
    } else {
        paragraph->NormalText("Are you sure you want to " + action.label + "?", true);
        paragraph->AddLineBreak(1);
        paragraph->AddAnchor("Yes", m_links.MakeLink({}, {}, {}, 1, "M", action.letter, "Y", {}));
    }
    paragraph->AddLineBreak(1);
    addMainMenuAnchor(*paragraph);
    sendDeck(packet, deck);
}

// The closing message goes to the connection first; a failure to send it
// ends the request before anything is carried out.
void Site::carryOutMyComputerAction(CPacket& packet, const MyComputerAction& action) {
    log(LogNotice, "User requested " + action.label);
    SendMessagePage(packet, "Attempting " + action.label + " now. Goodbye!", FollowUpPoweredBy);
    if (!action.code) {
        basShutdown::ShutdownPocketlane(packet, [] { QCoreApplication::exit(0); });
        return;
    }
    // logind says no to what this program may not do; the refusal is logged
    // there and nothing happens.
    const QDBusConnection bus = m_sessionEndBus ? *m_sessionEndBus : QDBusConnection::systemBus();
    basShutdown::ShutdownWindows(*action.code, m_settings.force(), m_settings.forceIfHung(), &m_log,
                                 {}, bus);
}
