#pragma once

#include "http/RequestHandler.h"
#include "site/FileSender.h"
#include "site/GuessThrottle.h"
#include "site/SiteLinks.h"
#include "site/SitePages.h"

#include <QByteArray>
#include <QObject>

#include <memory>
#include <optional>
#include <vector>

class CPacket;
class PictureAdapter;
class ShareAccess;
class SiteContext;
class SiteModule;
class WapServer;

// The dispatcher: holds the modules behind the main menu, applies the site
// password to each request and hands it to a core page, the file sender or
// the module its followed link names. Links handed out on pages live in the
// site's link tables, which are erased whenever the server stops.
class Site : public QObject, public RequestHandler {
    Q_OBJECT
public:
    Site(WapServer& server, const SiteContext& context, const ShareAccess& shares,
         PictureAdapter& pictures, QObject* parent = nullptr);

    // Adds a module; the order of adding is the main menu's order.
    void AddModule(SiteModule& module);
    const std::vector<SiteModule*>& Modules() const { return m_modules; }
    // The core pages, which modules answer with too.
    SitePages& Pages() { return m_pages; }

    void HandleRequest(const std::shared_ptr<CPacket>& packet) override;

    void ProcessRequest(CPacket& packet);

private:
    // How a request is answered, decided from its variables, the options
    // and the link tables before anything is sent.
    enum class Answer {
        UnknownRequest,
        MalformedLink,
        TimedOut,
        WelcomePage,
        MainMenu,
        Download,
        ModulePage,
        PasswordProtected,
        WrongPassword,
        PasswordGuess,
        FileKeyGuess,
        LinkKeyGuess,
    };
    struct Route {
        Answer answer;
        qint64 index = -1;            // the file or link record
        SiteModule* module = nullptr; // the module of a followed link
        LinkState link = {};          // the followed record, copied
    };
    Route route(const CPacket& packet) const;
    Route routeEntry(const CPacket& packet) const;
    Route routeLinkState(const CPacket& packet) const;
    Route entered(const CPacket& packet) const;
    // A followed link: the module its M field names, else the main menu.
    Route routeAction(qint64 index) const;
    // The route of a guess that was right, checked when its turn came.
    std::optional<Route> rightGuess(const CPacket& packet, Answer guess) const;
    static Answer wrongGuess(Answer guess);

    void sendAnswer(CPacket& packet, const Route& route);
    // The core page that answers a route none of the others takes.
    static SitePages::Page corePage(Answer answer);
    // Hands a followed link to its module; a page that fails is logged and
    // left unanswered.
    void HandleAction(CPacket& packet, const Route& route);
    // Answers a guess when its turn comes.
    bool answerGuess(CPacket& packet, Answer guess);

    const SiteContext& m_context;
    std::vector<SiteModule*> m_modules;
    SitePages m_pages;
    FileSender m_files;
    GuessThrottle::Answer m_tryAgain;
};
