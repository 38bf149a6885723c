#include "site/mycomputer/basShutdown.h"

#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "site/mycomputer/LogindClient.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <utility>

namespace basShutdown {

namespace {
LogindRequest PowerOperation(const QString& what, const QString& verb, bool force) {
    // Without Force, programs that hold a block inhibitor (a disc burner, an
    // editor with unsaved work) stop the operation even when this program runs
    // as root, as programs may object to a shutdown without the force flag.
    // With Force, logind's own rule applies: a privileged caller overrides
    // them, an unprivileged one only where polkit lets it ignore inhibitors
    // (logind checks that itself, and its Can... answer already says so).
    return {LogindRequest::PowerOperation, what, QStringLiteral("Can") + verb,
            verb + QStringLiteral("WithFlags"), force ? 0 : Logind::RootCheckInhibitors};
}

LogindRequest OtherRequest(LogindRequest::Kind kind, const QString& what) {
    LogindRequest request;
    request.kind = kind;
    request.what = what;
    return request;
}

// How the flags map to logind. Force-if-hung adds nothing to the request:
// programs that do not respond are always closed in the end, since logind
// waits for delay inhibitors only up to InhibitDelayMaxSec and the service
// manager kills what has not stopped within its stop timeout. Likewise logind
// offers no way for programs to object to ending a session, so a logoff is
// the same with or without either force flag: the session's programs are
// asked to end and those that do not are killed.
LogindRequest RequestFor(quint32 flags) {
    const bool force = flags & EwxForce;
    switch (flags & ~quint32(EwxForce | EwxForceIfHung)) {
    case EwxLogoff:
        return OtherRequest(LogindRequest::EndOwnSession,
                            QStringLiteral("log off the owner's session"));
    case EwxShutdown:
        return PowerOperation(QStringLiteral("shut down the PC"), QStringLiteral("Halt"), force);
    case EwxReboot:
        return PowerOperation(QStringLiteral("reboot the PC"), QStringLiteral("Reboot"), force);
    case EwxPowerOff:
        return PowerOperation(QStringLiteral("power off the PC"), QStringLiteral("PowerOff"),
                              force);
    default:
        return OtherRequest(LogindRequest::Unknown,
                            QStringLiteral("carry out action code %1").arg(flags));
    }
}

QString LogLine(const QString& what, bool done, const QString& reason) {
    if (done)
        return QStringLiteral("ShutdownWindows - the system accepted the request to ") + what;
    return QStringLiteral("ShutdownWindows - could not %1: %2").arg(what, reason);
}
} // namespace

quint32 ExitFlags(quint32 code, bool force, bool forceIfHung) {
    return code | (force ? quint32(EwxForce) : 0u) | (forceIfHung ? quint32(EwxForceIfHung) : 0u);
}

void ShutdownWindows(quint32 code, bool force, bool forceIfHung, StatusLog* log,
                     ShutdownCallback onFinished, const QDBusConnection& bus) {
    const quint32 flags = ExitFlags(code, force, forceIfHung);
    const LogindRequest request = RequestFor(flags);
    LogindSessionEnd::Start(
        bus, request,
        [flags, what = request.what, log = QPointer<StatusLog>(log),
         onFinished = std::move(onFinished)](bool done, const QString& reason) {
            const ShutdownResult result{flags, done, LogLine(what, done, reason)};
            if (log)
                log->LogStatus(done ? LogDetail : LogError, result.logMessage);
            if (onFinished)
                onFinished(result);
        });
}

void ShutdownPocketlane(const CPacket& packet, std::function<void()> endProgram) {
    packet.WhenAnswerDelivered(std::move(endProgram), ClosingAnswerWaitMs);
}

} // namespace basShutdown
