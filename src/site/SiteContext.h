#pragma once

#include <QByteArray>

#include <memory>

class CDeck;
class CPacket;
class CParagraph;
class GuessThrottle;
class Settings;
class SiteLinks;
class StatusLog;

// What every page of the site needs, given once at construction: the
// status log, the owner's options, the link tables and the guess throttle,
// with the few pieces every page is made of.
class SiteContext {
public:
    SiteContext(StatusLog& log, const Settings& options, SiteLinks& links, GuessThrottle& guesses);

    StatusLog& StatusLogModel() const { return m_log; }
    const Settings& Options() const { return m_options; }
    SiteLinks& Links() const { return m_links; }
    GuessThrottle& Guesses() const { return m_guesses; }

    void Log(int level, const QByteArray& text) const;

    // A deck's single card and its paragraph, which every page fills.
    static std::shared_ptr<CParagraph> NewPage(CDeck& deck, const QByteArray& title,
                                               const QByteArray& id);
    static void SendDeck(CPacket& packet, const CDeck& deck);
    // A link to page 1 of a module, with an action and a query suffix.
    QByteArray ModuleLink(const QByteArray& module, const QByteArray& action = {},
                          const QByteArray& suffix = {}) const;
    // A line break and the "[^] Main Menu" link that ends module pages.
    void AddMainMenuAnchor(CParagraph& paragraph) const;

private:
    StatusLog& m_log;
    const Settings& m_options;
    SiteLinks& m_links;
    GuessThrottle& m_guesses;
};
