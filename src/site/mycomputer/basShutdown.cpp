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
LogindRequest PowerOperation(const QString& sWhat, const QString& sVerb, bool bForce) {
    // Without Force, programs that hold a block inhibitor (a disc burner, an
    // editor with unsaved work) stop the operation even when this program runs
    // as root, as programs may object to a shutdown without the force flag.
    // With Force, logind's own rule applies: a privileged caller overrides
    // them, an unprivileged one only where polkit lets it ignore inhibitors
    // (logind checks that itself, and its Can... answer already says so).
    return {LogindRequest::PowerOperation, sWhat, QStringLiteral("Can") + sVerb,
            sVerb + QStringLiteral("WithFlags"), bForce ? 0 : Logind::RootCheckInhibitors};
}

LogindRequest OtherRequest(LogindRequest::Kind eKind, const QString& sWhat) {
    LogindRequest request;
    request.eKind = eKind;
    request.sWhat = sWhat;
    return request;
}

// How the flags map to logind. Force-if-hung adds nothing to the request:
// programs that do not respond are always closed in the end, since logind
// waits for delay inhibitors only up to InhibitDelayMaxSec and the service
// manager kills what has not stopped within its stop timeout. Likewise logind
// offers no way for programs to object to ending a session, so a logoff is
// the same with or without either force flag: the session's programs are
// asked to end and those that do not are killed.
LogindRequest RequestFor(quint32 lFlags) {
    const bool bForce = lFlags & EwxForce;
    switch (lFlags & ~quint32(EwxForce | EwxForceIfHung)) {
    case EwxLogoff:
        return OtherRequest(LogindRequest::EndOwnSession,
                            QStringLiteral("log off the owner's session"));
    case EwxShutdown:
        return PowerOperation(QStringLiteral("shut down the PC"), QStringLiteral("Halt"), bForce);
    case EwxReboot:
        return PowerOperation(QStringLiteral("reboot the PC"), QStringLiteral("Reboot"), bForce);
    case EwxPowerOff:
        return PowerOperation(QStringLiteral("power off the PC"), QStringLiteral("PowerOff"),
                              bForce);
    default:
        return OtherRequest(LogindRequest::Unknown,
                            QStringLiteral("carry out action code %1").arg(lFlags));
    }
}

QString LogLine(const QString& sWhat, bool bDone, const QString& sReason) {
    if (bDone)
        return QStringLiteral("ShutdownWindows - the system accepted the request to ") + sWhat;
    return QStringLiteral("ShutdownWindows - could not %1: %2").arg(sWhat, sReason);
}
} // namespace

quint32 ExitFlags(quint32 lCode, bool bForce, bool bForceIfHung) {
    return lCode | (bForce ? quint32(EwxForce) : 0u) |
           (bForceIfHung ? quint32(EwxForceIfHung) : 0u);
}

void ShutdownWindows(quint32 lCode, bool bForce, bool bForceIfHung, StatusLog* oLog,
                     ShutdownCallback onFinished, const QDBusConnection& oBus) {
    const quint32 lFlags = ExitFlags(lCode, bForce, bForceIfHung);
    const LogindRequest request = RequestFor(lFlags);
    LogindSessionEnd::Start(
        oBus, request,
        [lFlags, sWhat = request.sWhat, log = QPointer<StatusLog>(oLog),
         onFinished = std::move(onFinished)](bool bDone, const QString& sReason) {
            const ShutdownResult result{lFlags, bDone, LogLine(sWhat, bDone, sReason)};
            if (log)
                log->LogStatus(bDone ? LogDetail : LogError, result.sLogMessage);
            if (onFinished)
                onFinished(result);
        });
}

void ShutdownPocketlane(const CPacket& oPacket, std::function<void()> endProgram) {
    oPacket.WhenAnswerDelivered(std::move(endProgram), ClosingAnswerWaitMs);
}

} // namespace basShutdown
