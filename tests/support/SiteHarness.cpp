#include "support/SiteHarness.h"

#include <QRegularExpression>
#include <QUrl>

static const QByteArray Prolog("<?xml version=\"1.0\"?>\n"
                               "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
                               "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n");

QByteArray Card(const QByteArray& id, const QByteArray& title, const QByteArray& content) {
    return Prolog + "<wml><card id=\"" + id + "\" title=\"" + title + "\"><p>" + content +
           "</p></card></wml>";
}

QByteArray DeckOf(const QByteArray& answer) {
    const qsizetype headersEnd = answer.indexOf("\r\n\r\n");
    const qsizetype sizeEnd = answer.indexOf("\r\n", headersEnd + 4);
    if (headersEnd < 0 || sizeEnd < 0)
        return answer;
    bool ok = false;
    const qsizetype size = answer.mid(headersEnd + 4, sizeEnd - headersEnd - 4).toLongLong(&ok, 16);
    return ok ? answer.mid(sizeEnd + 2, size) : answer;
}

QByteArray Url(const QByteArray& text) {
    return QUrl::toPercentEncoding(QString::fromUtf8(text));
}

SiteHarness::SiteHarness() {
    for (const auto option :
         {Settings::ShowWelcomeGraphic, Settings::WelcomeMessage, Settings::EnablePassword,
          Settings::EnableSharedFolders, Settings::EnableMyComputer, Settings::GraffitiShowDate,
          Settings::GraffitiShowTime})
        settings.setSwitch(option, false);
    settings.setSwitch(Settings::EnableGraffiti, true);
    for (SiteModule* module :
         std::initializer_list<SiteModule*>{&sharedFolders, &graffiti, &myComputer})
        site.AddModule(*module);
    server.SetRequestHandler(&site);
}

bool SiteHarness::open() {
    return server.OpenListener() == WapServer::ListenResult::Listening;
}

QByteArray SiteHarness::answer(const QByteArray& path) {
    LoopbackClient client(server.Port());
    client.Send(LoopbackClient::Request(path));
    client.WaitClosed();
    return client.Received();
}

QByteArray SiteHarness::linkTitled(const QByteArray& deck, const QByteArray& title) {
    const QRegularExpression anchor(QStringLiteral("<a href=\"([^\"]*)\">") +
                                    QRegularExpression::escape(QString::fromUtf8(title)) +
                                    QStringLiteral("</a>"));
    const QString href = anchor.match(QString::fromUtf8(deck)).captured(1);
    return href.toUtf8().replace("&amp;", "&");
}
