#include "site/mycomputer/LogindClient.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>

namespace {
QDBusMessage ManagerCall(const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(Logind::Service, Logind::ManagerPath,
                                                       Logind::ManagerInterface, method);
    call.setArguments(arguments);
    return call;
}

// Why an answer other than "yes" stops the action. "challenge" stops it too:
// the authentication it asks for would be typed at the PC, which the phone
// visitor who asked for the action cannot do.
QString RefusalReason(const QString& canMethod, const QString& answer) {
    QString why;
    if (answer == u"no")
        why = QStringLiteral("the system does not allow this program to do it");
    else if (answer == u"challenge")
        why = QStringLiteral("the system asks for authentication at the PC");
    else if (answer == u"na")
        why = QStringLiteral("the PC does not support it");
    else
        why = QStringLiteral("the system gave no usable answer");
    return QStringLiteral("%1 (%2 answered \"%3\")").arg(why, canMethod, answer);
}
} // namespace

void LogindSessionEnd::Start(const QDBusConnection& bus, const LogindRequest& request,
                             Callback onFinished) {
    auto* sessionEnd = new LogindSessionEnd(bus, request, std::move(onFinished));
    // Even a request refused at once reports from the event loop, so that the
    // caller always hears of it after ShutdownWindows has returned.
    QMetaObject::invokeMethod(
        sessionEnd, [sessionEnd] { sessionEnd->EnableShutdownPrivilege(); }, Qt::QueuedConnection);
}

LogindSessionEnd::LogindSessionEnd(const QDBusConnection& bus, const LogindRequest& request,
                                   Callback onFinished)
    : m_bus(bus)
    , m_request(request)
    , m_onFinished(std::move(onFinished)) {}

// The privilege step. For a power operation logind is asked whether this
// program may do it; for a logoff the owner's session is looked up, which
// logind lets a user end without further authentication.
void LogindSessionEnd::EnableShutdownPrivilege() {
    switch (m_request.kind) {
    case LogindRequest::PowerOperation:
        Ask(ManagerCall(m_request.canMethod),
            [this](const QDBusMessage& reply) { OnPrivilegeAnswer(reply); });
        return;
    case LogindRequest::EndOwnSession:
        Ask(ManagerCall(QStringLiteral("GetSession"), {Logind::OwnSession}),
            [this](const QDBusMessage& reply) { TerminateSession(reply); });
        return;
    case LogindRequest::Unknown:
        Finish(false, QStringLiteral("there is no such action"));
        return;
    }
}

void LogindSessionEnd::OnPrivilegeAnswer(const QDBusMessage& reply) {
    const QString answer =
        reply.signature() == u"s" ? reply.arguments().constFirst().toString() : QString();
    if (answer != u"yes") {
        Finish(false, RefusalReason(m_request.canMethod, answer));
        return;
    }
    Ask(ManagerCall(m_request.method, {QVariant::fromValue<qulonglong>(m_request.flags)}),
        [this](const QDBusMessage&) { Finish(true, {}); });
}

void LogindSessionEnd::TerminateSession(const QDBusMessage& sessionReply) {
    if (sessionReply.signature() != u"o") {
        Finish(false, QStringLiteral("the system named no session of the owner"));
        return;
    }
    const QString path = sessionReply.arguments().constFirst().value<QDBusObjectPath>().path();
    Ask(QDBusMessage::createMethodCall(Logind::Service, path, Logind::SessionInterface,
                                       QStringLiteral("Terminate")),
        [this](const QDBusMessage&) { Finish(true, {}); });
}

// Sends a call and hands its reply on; an error reply (logind refused, is not
// on the bus, or did not answer in D-Bus's call timeout) ends the request.
void LogindSessionEnd::Ask(const QDBusMessage& call,
                           std::function<void(const QDBusMessage&)> onAnswer) {
    // A connection that never reached a bus (no system bus on this machine)
    // would give a call that never finishes.
    if (!m_bus.isConnected()) {
        Finish(false,
               QStringLiteral("not connected to the bus (%1)").arg(m_bus.lastError().message()));
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, method = call.member(), onAnswer = std::move(onAnswer)] {
                watcher->deleteLater();
                const QDBusMessage reply = watcher->reply();
                if (reply.type() == QDBusMessage::ErrorMessage) {
                    Finish(false, QStringLiteral("%1 failed: %2 (%3)")
                                      .arg(method, reply.errorMessage(), reply.errorName()));
                    return;
                }
                onAnswer(reply);
            });
}

void LogindSessionEnd::Finish(bool done, const QString& reason) {
    if (m_onFinished)
        m_onFinished(done, reason);
    deleteLater();
}
