#pragma once

#include <QByteArray>

class CPacket;
struct LinkState;

// One module behind the main menu. The dispatcher hands it every followed
// link whose record names its letter (the record's M field).
class SiteModule {
public:
    virtual ~SiteModule() = default;

    // The record field M of the module's links ("F", "G", "M").
    virtual QByteArray Letter() const = 0;
    // The module's entry on the main menu.
    virtual QByteArray MenuTitle() const = 0;
    // Whether the owner lets visitors use the module now.
    virtual bool IsEnabled() const = 0;
    // Answers a followed link; index is the record that was followed.
    virtual void HandleLink(CPacket& packet, const LinkState& link, qint64 index) = 0;
};
