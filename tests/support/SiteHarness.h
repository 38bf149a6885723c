#pragma once

#include "http/WapServer.h"
#include "settings/Settings.h"
#include "settings/SharedFolderList.h"
#include "site/PictureAdapter.h"
#include "site/ShareAccess.h"
#include "site/Site.h"
#include "site/SiteContext.h"
#include "site/SiteLinks.h"
#include "site/graffiti/GraffitiBoard.h"
#include "site/graffiti/GraffitiModule.h"
#include "site/mycomputer/MyComputerModule.h"
#include "site/sharedfolders/SharedFoldersModule.h"
#include "support/LoopbackClient.h"
#include "support/TempSettings.h"

#include <QByteArray>

// A whole deck of one card holding one paragraph.
QByteArray Card(const QByteArray& id, const QByteArray& title, const QByteArray& content);

// The deck of one chunked answer, or the answer itself when it is not one.
QByteArray DeckOf(const QByteArray& answer);

// Text made fit for a query value, percent-encoded as a phone sends it.
QByteArray Url(const QByteArray& text);

// A running server with the site behind it, on a free loopback port, with
// its own settings file. Every module is off except Graffiti, and no welcome
// option or password is on.
struct SiteHarness {
    TempSettings temp;
    Settings& settings = *temp.settings;
    SharedFolderList folders{*temp.store, *temp.log};
    WapServer server{*temp.log, 0};
    GraffitiBoard board{settings};
    SiteLinks links{[this] { return settings.enablePassword(); }, 0};
    GuessThrottle guesses{*temp.log};
    SiteContext context{*temp.log, settings, links, guesses};
    ShareAccess shares{folders};
    PictureAdapter pictures{*temp.log};
    Site site{server, context, shares, pictures};
    SharedFoldersModule sharedFolders{context, shares, pictures};
    GraffitiModule graffiti{context, board};
    MyComputerModule myComputer{context, site.Pages(), [] {}};

    SiteHarness();

    bool open();

    // The whole answer to one request, once the server has closed the
    // connection (or after the timeout for an answer that keeps it open).
    QByteArray answer(const QByteArray& path);
    QByteArray deck(const QByteArray& path) { return DeckOf(answer(path)); }

    // The path of the first link in the deck titled `title`, unescaped;
    // empty when there is none.
    static QByteArray linkTitled(const QByteArray& deck, const QByteArray& title);
};
