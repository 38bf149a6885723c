#include "site/graffiti/GraffitiModule.h"

#include "base/SafeText.h"
#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "settings/Settings.h"
#include "site/LinkTables.h"
#include "site/SiteContext.h"
#include "site/graffiti/GraffitiBoard.h"
#include "wml/WmlDeck.h"
#include "wml/WmlParagraph.h"

namespace {

constexpr int GraffitiShown = 10;
// Many phones take no compiled deck over 1,400 bytes. The messages of one
// page may take this much of it; the rest of the page (title, line, links
// with their keys) compiles to well under 300 bytes.
constexpr qsizetype MessageBytesPerPage = 1100;
// What a message costs compiled beyond the bytes of its text: the string's
// markers, its style and its line break.
constexpr qsizetype MessageOverhead = 6;

} // namespace

// The messages one board page shows: indices [first, end) of the board, and
// how the pages around it are reached.
struct GraffitiModule::BoardPage {
    int page = 1;
    int lowest = 0; // the oldest message the pages may show
    int first = 0;
    int end = 0;
    QByteArray windowStart; // the number of message `lowest`
    QByteArray shownBefore; // the record of the page before (C)
    QByteArray followed;    // the record followed to this page
};

GraffitiModule::GraffitiModule(const SiteContext& context, GraffitiBoard& board)
    : m_context(context)
    , m_board(board) {}

bool GraffitiModule::IsEnabled() const {
    return m_context.Options().enableGraffiti();
}

void GraffitiModule::HandleLink(CPacket& packet, const LinkState& link, qint64 index) {
    if (link.A == "A")
        SendAddGraffitiPage(packet);
    else
        SendGraffitiPage(packet, link, index);
}

// The board shows its last ten messages; when they would make too large a
// deck for a phone, the first page shows the newest that fit and links to a
// page with the ones before them. A page link names messages by number
// (D: the page shows those before it, F: the oldest of the ten), so that it
// shows the same messages whatever was posted since.
GraffitiModule::BoardPage GraffitiModule::pageFor(const LinkState& link, qint64 index) const {
    BoardPage shown;
    shown.lowest = m_board.firstOfLast(GraffitiShown);
    shown.end = m_board.count();
    bool hasStart = false, hasEnd = false;
    const qint64 start = link.F.toLongLong(&hasStart);
    const qint64 before = link.D.toLongLong(&hasEnd);
    if (link.P > 1 && hasStart && hasEnd) {
        const int lowest = m_board.indexFrom(start);
        const int end = m_board.indexFrom(before);
        if (lowest < end) {
            shown.page = link.P;
            shown.lowest = lowest;
            shown.end = end;
            shown.shownBefore = link.C;
        }
    }
    if (shown.lowest < shown.end)
        shown.windowStart = QByteArray::number(m_board.entries().at(shown.lowest).id);
    shown.followed = QByteArray::number(index);
    qsizetype bytes = 0;
    shown.first = shown.end;
    while (shown.first > shown.lowest) {
        bytes += m_board.text(shown.first - 1).size() + MessageOverhead;
        if (bytes > MessageBytesPerPage && shown.first < shown.end)
            break;
        --shown.first;
    }
    return shown;
}

void GraffitiModule::SendGraffitiPage(CPacket& packet, const LinkState& link, qint64 index) {
    if (packet.Variables().Contains("G")) {
        const QByteArray text = SafeText::Utf8FromPhone(packet.Variables().Item("G"));
        m_board.AddGraffiti(text);
        m_context.Log(LogNotice, "User added graffiti:" +
                                     SafeText::ForLog(text, GraffitiBoard::MaxMessageCharacters));
    }
    const BoardPage shown = pageFor(link, index);
    CDeck deck;
    const auto paragraph = SiteContext::NewPage(deck, "Graffiti", "Graffiti");
    for (int i = shown.first; i < shown.end; ++i) {
        if (i % 2 == 1)
            paragraph->ItalicText(m_board.text(i), true);
        else
            paragraph->NormalText(m_board.text(i), true);
    }
    if (m_board.count() == 0)
        paragraph->NormalText("No one has added Graffiti, be the first!", true);
    paragraph->BoldText("==============", true);
    addPagingLinks(*paragraph, shown);
    paragraph->AddAnchor("Add Graffiti", m_context.ModuleLink(Letter(), "A"));
    m_context.AddMainMenuAnchor(*paragraph);
    SiteContext::SendDeck(packet, deck);
}

// "Back" leads to a copy of the record that showed the page before, so to
// exactly the messages seen there (to the first page when it is gone).
void GraffitiModule::addPagingLinks(CParagraph& paragraph, const BoardPage& shown) {
    SiteLinks& links = m_context.Links();
    if (shown.page > 1) {
        bool ok = false;
        const LinkState* held = links.FindLinkState(shown.shownBefore.toLongLong(&ok));
        QByteArray back = m_context.ModuleLink(Letter());
        if (ok && held) {
            const LinkState record = *held; // MakeLink may move the table's slots
            back = links.MakeLink({}, record.D, record.F, record.P, Letter(), {}, record.C, {});
        }
        paragraph.AddAnchor("Back to Page " + QByteArray::number(shown.page - 1), back);
        paragraph.AddLineBreak(1);
    }
    if (shown.first > shown.lowest) {
        const QByteArray before = QByteArray::number(m_board.entries().at(shown.first).id);
        paragraph.AddAnchor("Forward to Page " + QByteArray::number(shown.page + 1),
                            links.MakeLink({}, before, shown.windowStart, qint16(shown.page + 1),
                                           Letter(), {}, shown.followed, {}));
        paragraph.AddLineBreak(1);
    }
}

void GraffitiModule::SendAddGraffitiPage(CPacket& packet) {
    CDeck deck;
    const auto paragraph = SiteContext::NewPage(deck, "Add Graffiti", "Graffiti");
    paragraph->BoldText("Enter your Graffiti below", true);
    paragraph->AddLineBreak(1);
    paragraph->AddInput("G", GraffitiBoard::MaxMessageCharacters, {}, 0, false, true);
    paragraph->AddLineBreak(1);
    paragraph->AddAnchor("Submit", m_context.ModuleLink(Letter(), {}, "&G=$(G)"));
    m_context.AddMainMenuAnchor(*paragraph);
    SiteContext::SendDeck(packet, deck);
}
