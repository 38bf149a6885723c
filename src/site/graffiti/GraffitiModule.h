#pragma once

#include "site/SiteModule.h"

class CParagraph;
class GraffitiBoard;
class SiteContext;

// The Graffiti pages: the latest messages with a link to add one, and the
// form that adds it.
class GraffitiModule : public SiteModule {
public:
    GraffitiModule(const SiteContext& context, GraffitiBoard& board);

    QByteArray Letter() const override { return "G"; }
    QByteArray MenuTitle() const override { return "Graffiti"; }
    bool IsEnabled() const override;
    void HandleLink(CPacket& packet, const LinkState& link, qint64 index) override;

    // Adds the visitor's message (the request's G) first, when it carries
    // one; then shows the board page the followed link names.
    void SendGraffitiPage(CPacket& packet, const LinkState& link, qint64 index);
    void SendAddGraffitiPage(CPacket& packet);

private:
    struct BoardPage;
    BoardPage pageFor(const LinkState& link, qint64 index) const;
    void addPagingLinks(CParagraph& paragraph, const BoardPage& shown);

    const SiteContext& m_context;
    GraffitiBoard& m_board;
};
