#pragma once

#include "net/RouterSession.h"
#include "net/SetupAnswers.h"

#include <QString>
#include <QUrl>

#include <optional>

// The setup check's judgement: writes the six answers (and the warning of a
// router behind another NAT) from what this PC, the public-address lookup
// and the router tell. It asks nothing itself and logs nothing.
class SetupCheck {
public:
    SetupAnswers& Answers() { return m_answers; }
    const SetupAnswers& Answers() const { return m_answers; }

    // The maker's help web site followed by the path.
    static QUrl HelpLink(const QString& path);

    // The answers known without the router: the local address, whether it
    // is on a LAN, and off a LAN also those the router would have given.
    void AnswerLocally(const QString& localIP, bool runningOnLan);
    // The answers about UPnP and the port forward: any mapping that takes
    // external port 80 to `ours` (this PC's address and the port served
    // here) counts, wherever the router lists it.
    void AnswerFromRouter(const RouterFacts& facts, const UpnpRouter::Mapping& ours);

    // The public-address answer while the lookup runs, after it found
    // `address`, after it failed.
    void AnswerLocating();
    void AnswerPublicAddress(const QString& address);
    void AnswerLookupFailed();

    // Judges the router's own internet address against the public one; a
    // warning that is new is returned (for the log), else an empty text.
    QString JudgeRouterAddress(const std::optional<QString>& routerAddress);

    // Whether the built-in gateway is on: its answer and the phone's
    // settings are written from then on, and gone while it is off.
    void SetGatewayOn(bool bOn);
    // What the start-up's LAN test found, for the gateway's answer only.
    void NoteNetwork(const QString& localIP, bool runningOnLan);

private:
    void answerGateway();

    SetupAnswers m_answers;
    QString m_publicAddress;
    bool m_gatewayOn = false;
    // Known once the check or the start-up told.
    std::optional<bool> m_runningOnLan;
    QString m_localIP;
    // Whether the router takes both UDP ports to this PC (no value: not asked).
    std::optional<bool> m_gatewayForwarded;
};
