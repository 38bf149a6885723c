#include "site/SiteContext.h"

#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "site/LinkTables.h"
#include "wml/WmlDeck.h"
#include "wml/WmlParagraph.h"

SiteContext::SiteContext(StatusLog& log, const Settings& options, SiteLinks& links,
                         GuessThrottle& guesses)
    : m_log(log)
    , m_options(options)
    , m_links(links)
    , m_guesses(guesses) {}

void SiteContext::Log(int level, const QByteArray& text) const {
    m_log.LogStatus(level, QString::fromUtf8(text));
}

std::shared_ptr<CParagraph> SiteContext::NewPage(CDeck& deck, const QByteArray& title,
                                                 const QByteArray& id) {
    return deck.AddNewCard(title, id)->AddNewParagraph();
}

void SiteContext::SendDeck(CPacket& packet, const CDeck& deck) {
    packet.SendResponse(deck.GetWML(), HttpOk);
}

QByteArray SiteContext::ModuleLink(const QByteArray& module, const QByteArray& action,
                                   const QByteArray& suffix) const {
    return m_links.MakeLink({}, {}, {}, 1, module, action, {}, suffix);
}

void SiteContext::AddMainMenuAnchor(CParagraph& paragraph) const {
    paragraph.AddLineBreak(1);
    paragraph.AddAnchor("[^] Main Menu", m_links.MakeMainMenuLink());
}
