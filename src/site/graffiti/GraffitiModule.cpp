#include "site/graffiti/GraffitiModule.h"

#include "base/SafeText.h"
#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "settings/Settings.h"
#include "site/LinkTables.h"
#include "site/SitePages.h"
#include "site/graffiti/GraffitiBoard.h"
#include "wml/WmlDeck.h"
#include "wml/WmlParagraph.h"

namespace {
constexpr int GraffitiShown = 10;
} // namespace

GraffitiModule::GraffitiModule(SitePages& pages, GraffitiBoard& board)
    : m_pages(pages)
    , m_board(board) {}

bool GraffitiModule::IsEnabled() const {
    return m_pages.Options().enableGraffiti();
}

void GraffitiModule::HandleLink(CPacket& packet, const LinkState& link, qint64) {
    if (link.A == "A")
        SendAddGraffitiPage(packet);
    else
        SendGraffitiPage(packet);
}

void GraffitiModule::SendGraffitiPage(CPacket& packet) {
    if (packet.Variables().Contains("G")) {
        const QByteArray text = SafeText::Utf8FromPhone(packet.Variables().Item("G"));
        m_board.AddGraffiti(text);
        m_pages.Log(LogNotice, "User added graffiti:" +
                                   SafeText::ForLog(text, GraffitiBoard::MaxMessageCharacters));
    }
    CDeck deck;
    const auto paragraph = SitePages::NewPage(deck, "Graffiti", "Graffiti");
    const QList<QByteArray>& messages = m_board.messages();
    for (int i = m_board.firstOfLast(GraffitiShown); i < m_board.count(); ++i) {
        if (i % 2 == 1)
            paragraph->ItalicText(messages.at(i), true);
        else
            paragraph->NormalText(messages.at(i), true);
    }
    if (messages.isEmpty())
        paragraph->NormalText("No one has added Graffiti, be the first!", true);
    paragraph->BoldText("==============", true);
    paragraph->AddAnchor("Add Graffiti", m_pages.ModuleLink(Letter(), "A"));
    m_pages.AddMainMenuAnchor(*paragraph);
    SitePages::SendDeck(packet, deck);
}

void GraffitiModule::SendAddGraffitiPage(CPacket& packet) {
    CDeck deck;
    const auto paragraph = SitePages::NewPage(deck, "Add Graffiti", "Graffiti");
    paragraph->BoldText("Enter your Graffiti below", true);
    paragraph->AddLineBreak(1);
    paragraph->AddInput("G", GraffitiBoard::MaxMessageCharacters, {}, 0, false, true);
    paragraph->AddLineBreak(1);
    paragraph->AddAnchor("Submit", m_pages.ModuleLink(Letter(), {}, "&G=$(G)"));
    m_pages.AddMainMenuAnchor(*paragraph);
    SitePages::SendDeck(packet, deck);
}
