#include "base/SafeText.h"
#include "http/WapServer.h"
#include "settings/Settings.h"
#include "site/LinkTables.h"
#include "site/Site.h"
#include "site/graffiti/GraffitiBoard.h"
#include "support/SiteHarness.h"
#include "support/WmlValidation.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {
const QByteArray GifBytes = "GIF89a\x01\x00\x01\x00\x00\x00\x00;";

} // namespace

class tst_Site : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void entryPageFollowsTheWelcomeOptions() {
        SiteHarness h;
        QVERIFY(h.open());
        const QByteArray menu = h.deck("/");
        QCOMPARE(menu, Card("MainMenu", "Main Menu",
                            "<a href=\"/?S=0\">Graffiti</a><br/><br/>" + Powered));
        QVERIFY_VALID_WML(menu);

        h.settings.setSwitch(Settings::WelcomeMessage, true);
        h.settings.setText(Settings::WelcomeMessageText, "Hi & welcome");
        const QByteArray welcome = h.deck("/");
        QCOMPARE(welcome,
                 Card("Pocketlane", "Pocketlane",
                      "Hi &amp; welcome<br/><br/><a href=\"/?S=1\">Enter</a><br/><br/>" + Powered));
        QVERIFY_VALID_WML(welcome);
        QVERIFY(h.temp.lines(LogNotice).contains(
            QStringLiteral("New user logging in. Sending splash screen.")));
        // Pages asked for again hand out the links they handed out before.
        QCOMPARE(h.deck("/"), welcome);
        QCOMPARE(h.deck("/?S=1"), menu);
        QCOMPARE(h.links.LinkStateTable().Count(), 2);

        h.settings.setSwitch(Settings::WelcomeMessage, false);
        h.settings.setSwitch(Settings::EnableGraffiti, false);
        const QByteArray empty = h.deck("/");
        QCOMPARE(empty,
                 Card("MainMenu", "Main Menu",
                      "The owner of this site is not currently allowing any modules to be run."
                      "<br/><br/>" +
                          Powered));
        QVERIFY_VALID_WML(empty);
    }

    // A guesser of passwords or keys gets its answers one per interval over
    // all visitors together, and a visitor who knows the password is let in
    // at once meanwhile.
    void guessesAreAnsweredSlowlyAndRightPasswordsAtOnce() {
        SiteHarness h;
        QVERIFY(h.open());
        h.setPassword("Secret");
        const QByteArray menu = h.deck("/?P=Secret");
        const QByteArray keyed = SiteHarness::linkTitled(menu, "Graffiti");
        const QList<QByteArray> guesses = {"/?P=a",     "/?P=b",
                                           "/?P=c",     "/?P=d",
                                           "/?P=e",     keyed.chopped(1) + "-",
                                           "/?F=0&K=x", "/?S=123&K=abcdefghijk"};
        QElapsedTimer clock;
        clock.start();
        std::vector<std::unique_ptr<LoopbackClient>> guessers;
        for (const QByteArray& guess : guesses) {
            guessers.push_back(std::make_unique<LoopbackClient>(h.server.Port()));
            guessers.back()->Send(LoopbackClient::Request(guess));
        }
        QVERIFY(h.deck("/?P=Secret").contains("<card id=\"MainMenu\""));
        const auto answered = [&] {
            return std::count_if(guessers.begin(), guessers.end(),
                                 [](const auto& g) { return !g->Received().isEmpty(); });
        };
        QVERIFY(answered() <= 1);
        for (const auto& guesser : guessers)
            QVERIFY(guesser->WaitClosed());
        QVERIFY(clock.elapsed() >= qint64(guesses.size() - 1) * GuessThrottle::AnswerIntervalMs);
        QVERIFY(DeckOf(guessers.front()->Received())
                    .contains("The password you supplied is incorrect."));
        QVERIFY(DeckOf(guessers.back()->Received()).contains("password protected"));
    }

    void passwordGuardsEntryAndLinks() {
        SiteHarness h;
        QVERIFY(h.open());
        h.setPassword("Secret");
        const QByteArray welcome = h.deck("/");
        QCOMPARE(welcome, Card("Pocketlane", "Pocketlane",
                               "Please enter Password:<br/><br/><input name=\"P\"/><br/>"
                               "<a href=\"/?P=$(P)\">Login</a><br/><br/>" +
                                   Powered));
        QVERIFY_VALID_WML(welcome);

        const QByteArray incorrect = Card("Pocketlane", "Pocketlane",
                                          "The password you supplied is incorrect.<br/><br/>"
                                          "<anchor>Splash Screen<go href=\"/\"/></anchor>");
        for (const QByteArray wrong : {"/?P=secret", "/?P=", "/?P=Secret2"})
            QCOMPARE(h.deck(wrong), incorrect);
        QVERIFY_VALID_WML(incorrect);

        const QByteArray menu = h.deck("/?P=Secret");
        QVERIFY_VALID_WML(menu);
        const QByteArray graffiti = SiteHarness::linkTitled(menu, "Graffiti");
        QVERIFY(QRegularExpression(QStringLiteral("^/\\?S=\\d+&K=[-_A-Za-z0-9]{11}$"))
                    .match(QString::fromUtf8(graffiti))
                    .hasMatch());
        QVERIFY(h.deck(graffiti).contains("<card id=\"Graffiti\""));

        const QByteArray protectedPage =
            Card("Pocketlane", "Pocketlane",
                 "This Pocketlane site is password protected. You must enter from the main page."
                 "<br/><br/><anchor>Splash Screen<go href=\"/\"/></anchor>");
        const QByteArray withoutKey = graffiti.left(graffiti.indexOf('&'));
        QByteArray wrongKey = graffiti;
        wrongKey.back() = wrongKey.back() == 'A' ? 'B' : 'A';
        for (const QByteArray& refused : {withoutKey, wrongKey, QByteArray("/?S=x&K=ABC")})
            QCOMPARE(h.deck(refused), protectedPage);
        QVERIFY_VALID_WML(protectedPage);
        QVERIFY(h.temp.lines(LogDetail).contains(
            QStringLiteral("Message to user:The password you supplied is incorrect.")));

        // An empty password lets every visitor in, but through the welcome page.
        h.setPassword({});
        QVERIFY(h.deck("/?P=").contains("Please enter Password:"));
    }

    void oldLinksTimeOutAfterStopAndStart() {
        SiteHarness h;
        QVERIFY(h.open());
        const QByteArray link = SiteHarness::linkTitled(h.deck("/"), "Graffiti");
        h.server.StopServer();
        QVERIFY(h.server.StartServer());
        const QByteArray message = "This session has timed out or Pocketlane has been restarted "
                                   "since you started this session.";
        const QByteArray timedOut = h.deck(link);
        QCOMPARE(timedOut,
                 Card("Error", "Error",
                      "An error has occured, and you will be returned to the main menu when you "
                      "select the following link:<br/><anchor>Main Menu<go href=\"/\"/></anchor>"
                      "<br/><br/><b><u>Error Message</u></b><br/>" +
                          message + "<br/>"));
        QVERIFY_VALID_WML(timedOut);
        QVERIFY(h.temp.lines(LogError).contains(QString::fromUtf8(message)));
        QCOMPARE(h.links.LinkStateTable().Count(), 0);
    }

    void requestsOutsideTheSite() {
        SiteHarness h;
        QVERIFY(h.open());
        const QByteArray error = h.deck("/favicon.ico");
        QVERIFY(error.contains("An unknown request was sent to Pocketlane.<br/>"));
        QVERIFY_VALID_WML(error);
        QVERIFY(h.temp.lines(LogDetail).contains(QStringLiteral(
            "Received unknown request. Error sent to user. Request was: /favicon.ico")));

        h.deck("/");
        QVERIFY(h.deck("/anything?S=0").contains("<card id=\"Graffiti\""));
        // Numbers that are not whole numbers lead nowhere, as expired ones do.
        for (const QByteArray path : {"/?S=zero", "/?S=", "/?S=99999999999999999999"})
            QVERIFY(h.deck(path).contains("This session has timed out"));
        QVERIFY(h.deck("/?F=1x").contains("This session has timed out"));
    }

    void graffitiRoundTrip() {
        SiteHarness h;
        QVERIFY(h.open());
        const QByteArray board = h.deck(SiteHarness::linkTitled(h.deck("/"), "Graffiti"));
        QVERIFY(
            board.contains("No one has added Graffiti, be the first!<br/><b>==============</b>"));
        QVERIFY_VALID_WML(board);

        const QByteArray form = h.deck(SiteHarness::linkTitled(board, "Add Graffiti"));
        QVERIFY_VALID_WML(form);
        QVERIFY(form.contains("<b>Enter your Graffiti below</b><br/><br/><input name=\"G\" "
                              "maxlength=\"60\"/><br/>"));
        const QByteArray submit = SiteHarness::linkTitled(form, "Submit");
        QVERIFY(submit.endsWith("&G=$(G)"));

        const QByteArray message = "<b> $(x) costs $5 > & 100%41 sure? a+b=c";
        const QByteArray shown = h.deck(submit.left(submit.size() - 4) + Url(message));
        QVERIFY_VALID_WML(shown);
        QVERIFY(shown.contains("&lt;b&gt; $$(x) costs $$5 &gt; &amp; 100%41 sure? a+b=c<br/><b>"));
        QCOMPARE(h.board.messages(), QList<QByteArray>{message});
        // A phone that sends its form text in ISO-8859-1 loses no letter.
        QVERIFY(h.deck(submit.left(submit.size() - 4) + "caf%E9").contains("caf\xC3\xA9"));
        QVERIFY(h.temp.lines(LogNotice).contains(QStringLiteral("User added graffiti:") +
                                                 QString::fromUtf8(message)));
    }

    // A long post with line breaks is kept and logged as the board keeps it:
    // one line, cut with a mark, its line breaks visible.
    void longMultiLineGraffitiCannotFloodOrForgeTheLog() {
        SiteHarness h;
        QVERIFY(h.open());
        const QByteArray submit = SiteHarness::linkTitled(
            h.deck(SiteHarness::linkTitled(h.deck(SiteHarness::linkTitled(h.deck("/"), "Graffiti")),
                                           "Add Graffiti")),
            "Submit");
        const QByteArray forged = "hi\nPocketlane stopped by user\n";
        const QByteArray post = forged + QByteArray(12000, 'x');
        h.deck(submit.chopped(4) + Url(post).replace("\n", "%0A"));
        const QStringList lines = h.temp.lines(LogNotice).filter(QStringLiteral("graffiti"));
        QCOMPARE(lines.size(), 1);
        const QString logged = lines.first();
        QVERIFY(logged.startsWith(QStringLiteral("User added graffiti:hi\\nPocketlane stopped")));
        QVERIFY(logged.endsWith(QString::fromLatin1(SafeText::CutMark)));
        QVERIFY(!logged.contains(u'\n'));
        QVERIFY(logged.size() < 100);
        QCOMPARE(h.board.messages().first().size(), GraffitiBoard::MaxMessageCharacters);
    }

    void boardShowsTheLastTenAlternatingStyles() {
        SiteHarness h;
        QVERIFY(h.open());
        for (int i = 1; i <= 12; ++i)
            h.board.AddGraffiti("m" + QByteArray::number(i));
        const QByteArray board = h.deck(SiteHarness::linkTitled(h.deck("/"), "Graffiti"));
        QVERIFY_VALID_WML(board);
        QByteArray expected;
        for (int i = 2; i < 12; ++i) {
            const QByteArray text = "m" + QByteArray::number(i + 1);
            expected += i % 2 ? "<i>" + text + "</i><br/>" : text + "<br/>";
        }
        QVERIFY(board.contains("<p>" + expected + "<b>==============</b><br/><a href="));
        QVERIFY(!board.contains("m2<"));
    }

    void welcomeImageDownloadsThroughItsFileLink() {
        SiteHarness h;
        QVERIFY(h.open());
        const QString image = h.temp.dir.filePath(QStringLiteral("hello.gif"));
        QFile file(image);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(GifBytes);
        file.close();
        h.settings.setSwitch(Settings::ShowWelcomeGraphic, true);
        h.settings.setText(Settings::ShowWelcomeGraphicFilename, image.toUtf8());
        const QByteArray download =
            "HTTP/1.1 200 OK\r\nContent-type: image/gif\r\nContent-length: " +
            QByteArray::number(GifBytes.size()) + "\r\n\r\n" + GifBytes;

        for (const bool password : {false, true}) {
            if (password) { // the welcome page with everything on it at once
                h.setPassword("pw");
                h.settings.setSwitch(Settings::WelcomeMessage, true);
                h.settings.setText(Settings::WelcomeMessageText, "<Hi> & $(x)");
            }
            const QByteArray welcome = h.deck("/");
            QVERIFY_VALID_WML(welcome);
            if (password)
                QVERIFY(welcome.contains("alt=\"Welcome!\" align=\"top\"/><br/>&lt;Hi&gt; &amp; "
                                         "$$(x)<br/><br/>Please enter Password:"));
            const QRegularExpression img(QStringLiteral("<img src=\"([^\"]*)\" alt=\"Welcome!\" "
                                                        "align=\"top\"/><br/>"));
            const QByteArray link =
                img.match(QString::fromUtf8(welcome)).captured(1).toUtf8().replace("&amp;", "&");
            QCOMPARE(link.contains("&K="), password);
            LoopbackClient client(h.server.Port());
            client.Send(LoopbackClient::Request(link));
            QVERIFY(client.WaitForBytes(download.size()));
            QCOMPARE(client.Received(), download);
            if (password) // without its key the file link meets the password step
                QVERIFY(h.deck(link.left(link.indexOf('&'))).contains("Please enter Password:"));
        }
        QVERIFY(h.temp.lines(LogDetail).contains(QStringLiteral("Sending file: ") + image));

        // A file gone from the disk, and an entry no longer held, get a message.
        QVERIFY(QFile::remove(image));
        const QByteArray welcome = h.deck("/?P=pw");
        QVERIFY(welcome.contains("<a href=\"/?S="));
        h.settings.setSwitch(Settings::EnablePassword, false);
        const QByteArray link = QRegularExpression(QStringLiteral("src=\"([^\"]*)\""))
                                    .match(QString::fromUtf8(h.deck("/")))
                                    .captured(1)
                                    .toUtf8();
        QVERIFY(h.deck(link).contains("This file is no longer available."));
        QVERIFY(h.deck("/?F=999").contains("This session has timed out"));
        QCOMPARE(h.temp.lines(LogError).size(), 2);
        QVERIFY(h.temp.lines(LogError).first().startsWith(
            QStringLiteral("Error occured sending file:")));
    }

    // Requests put together at random from the site's own variables and odd
    // values, under changing options: every one is answered with a
    // well-formed deck or a file, or dropped, and the site goes on serving.
    void randomRequestsNeverBreakTheSite() {
        SiteHarness h;
        QVERIFY(h.open());
        QTemporaryDir share;
        QVERIFY(QDir(share.path()).mkpath(QStringLiteral("sub\x01 dir")));
        QFile file(share.filePath(QStringLiteral("tune.mid")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("MThd") == 4);
        file.close();
        h.folders.addFolder(share.path().toUtf8(), [] { return true; });
        QRandomGenerator random(20261206);
        const QByteArray names[] = {"S", "F", "K", "P", "G", "s", "D"};
        const QByteArray values[] = {"0",   "1",     "-1",   "99999999999999999999", "",    "%",
                                     "%zz", "%00",   "$(P)", "9223372036854775807",  "a=b", "%26",
                                     "?",   "%3F%3F"};
        for (int round = 0; round < 300; ++round) {
            if (round % 50 == 0) {
                h.settings.setSwitch(Settings::EnablePassword, random.bounded(2));
                h.settings.setSwitch(Settings::EnableSharedFolders, random.bounded(2));
                h.settings.setSwitch(Settings::EnableMyComputer, false);
            }
            QByteArray path = random.bounded(4) ? "/" : "/x%41";
            const int count = random.bounded(4);
            for (int i = 0; i < count; ++i) {
                path += (i ? "&" : "?") + names[random.bounded(7)] + '=';
                path += random.bounded(3) ? values[random.bounded(14)]
                                          : QByteArray::number(random.bounded(400));
            }
            const QByteArray answer = h.answer(path);
            if (!answer.contains("text/vnd.wap.wml"))
                continue;
            QXmlStreamReader reader(DeckOf(answer));
            while (!reader.atEnd())
                reader.readNext();
            QVERIFY2(!reader.hasError(), path.constData());
        }
        h.settings.setSwitch(Settings::EnablePassword, false);
        QVERIFY(h.deck("/").contains("<card id=\"MainMenu\""));
    }
};

QTEST_GUILESS_MAIN(tst_Site)
#include "tst_site.moc"
