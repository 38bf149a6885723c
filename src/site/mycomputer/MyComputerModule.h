#pragma once

#include "site/SiteModule.h"

#include <QString>

#include <functional>

class SiteContext;
class SitePages;

// The My Computer pages: the menu, the confirmation and password steps, and
// the actions behind them (ending the owner's session, powering the PC off,
// rebooting or shutting it down through systemd-logind, or ending this
// program).
class MyComputerModule : public SiteModule {
public:
    // endProgram ends this program once "Shutdown Pocketlane" has said
    // goodbye.
    MyComputerModule(const SiteContext& context, SitePages& pages,
                     std::function<void()> endProgram);

    QByteArray Letter() const override { return "M"; }
    QByteArray MenuTitle() const override { return "My Computer"; }
    bool IsEnabled() const override;
    void HandleLink(CPacket& packet, const LinkState& link, qint64 index) override;

    void SendMyComputerMenu(CPacket& packet);
    // linkIndex is the link record that was followed (its C marks a
    // confirmed action).
    void HandleMyComputerAction(CPacket& packet, const QByteArray& action, qint64 linkIndex = -1);
    // The D-Bus connection (by its registered name) on which systemd-logind
    // is asked to end the session or to power the PC off; the system bus
    // unless another one is set.
    void SetSessionEndBus(const QString& connectionName) { m_sessionEndBus = connectionName; }

    struct Action; // one entry of the menu: letter, label, action code

private:
    void takePasswordGuess(CPacket& packet, const Action& action);
    void sendActionPage(CPacket& packet, const Action& action);
    void carryOut(CPacket& packet, const Action& action);

    const SiteContext& m_context;
    SitePages& m_pages;
    std::function<void()> m_endProgram;
    QString m_sessionEndBus;
};
