#pragma once

#include <QDBusConnection>
#include <QString>

#include <functional>

class StatusLog;
class CPacket;

// The session-end operations behind the My Computer pages: log off the PC's
// owner, power the PC off, reboot it, shut it down, and close this program.
namespace basShutdown {

// Action codes, and the flags the two force options add to them.
enum ExitFlag : quint32 {
    EwxLogoff = 0,       // end the owner's session
    EwxShutdown = 1,     // stop the system without powering off
    EwxReboot = 2,       // stop the system and restart
    EwxForce = 4,        // close programs even where they ask to go on
    EwxPowerOff = 8,     // stop the system and power off
    EwxForceIfHung = 16, // close programs that do not respond
};

// code with EwxForce and EwxForceIfHung added as asked: Reboot with both
// force options gives 2 + 4 + 16 = 22.
quint32 ExitFlags(quint32 code, bool force, bool forceIfHung);

struct ShutdownResult {
    quint32 flags = 0;  // ExitFlags of the request
    bool done = false;  // the system accepted it and carries it out on its own schedule
    QString logMessage; // the status-log line written for it
};
using ShutdownCallback = std::function<void(const ShutdownResult&)>;

// Asks the system (systemd-logind on bus) to carry out the action code with
// the force options, and returns at once. The outcome is written to log (an
// error line when the action is refused or fails, a detail line when it is
// accepted) and handed to onFinished, always later from the event loop.
// Nothing is asked for unless logind first says that this program may do it
// without authentication at the PC.
void ShutdownWindows(quint32 code, bool force, bool forceIfHung, StatusLog* log = nullptr,
                     ShutdownCallback onFinished = {},
                     const QDBusConnection& bus = QDBusConnection::systemBus());

// Ends this program through endProgram (without the main window's closing
// steps) once the closing answer written to packet has left, its connection
// has closed or gone, or after ClosingAnswerWaitMs at the latest.
void ShutdownPocketlane(const CPacket& packet, std::function<void()> endProgram);
inline constexpr int ClosingAnswerWaitMs = 10000;

} // namespace basShutdown
