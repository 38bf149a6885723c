#include "base/SafeText.h"
#include "support/SiteHarness.h"
#include "support/WmlValidation.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QXmlStreamReader>

#include <deque>

using namespace Qt::StringLiterals;

namespace {
const QByteArray Powered = "Powered by Pocketlane<br/>";
const QByteArray TimedOut = "This session has timed out or Pocketlane has been restarted since "
                            "you started this session.";
const QByteArray Incorrect = "The password you supplied is incorrect.";
const QByteArray Malformed = "A malformed link was sent to Pocketlane.";
QByteArray MainMenu() {
    return Card("MainMenu", "Main Menu", "<a href=\"/?S=0\">Graffiti</a><br/><br/>" + Powered);
}
QByteArray Prompt() {
    return Card("Pocketlane", "Pocketlane",
                "Please enter Password:<br/><br/><input name=\"P\"/><br/><a href=\"/?P=$(P)\">"
                "Login</a><br/><br/>" +
                    Powered);
}

QByteArray ErrorDeck(const QByteArray& message) {
    return Card("Error", "Error",
                "An error has occured, and you will be returned to the main menu when you select "
                "the following link:<br/><anchor>Main Menu<go href=\"/\"/></anchor><br/><br/>"
                "<b><u>Error Message</u></b><br/>" +
                    message + "<br/>");
}

// A message of the welcome steps, with the way back to the first page.
QByteArray SplashDeck(const QByteArray& message) {
    return Card("Pocketlane", "Pocketlane",
                message + "<br/><br/><anchor>Splash Screen<go href=\"/\"/></anchor>");
}

QByteArray Protected() {
    return SplashDeck(
        "This Pocketlane site is password protected. You must enter from the main page.");
}

// One request under the welcome options: the exact deck, and a line of the log.
struct Page {
    const char* welcome;  // empty: no welcome message
    const char* password; // null: none asked
    bool graffiti;
    const char* path;
    QByteArray expected;
    int level;
    QByteArray logged;
};
} // namespace
Q_DECLARE_METATYPE(Page)

class tst_Site : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pagesFollowTheOptions_data() {
        QTest::addColumn<Page>("page");
        const QByteArray Welcome =
            Card("Pocketlane", "Pocketlane",
                 "Hi &amp; welcome<br/><br/><a href=\"/?S=0\">Enter</a><br/><br/>" + Powered);
        const QByteArray NoModule = Card(
            "MainMenu", "Main Menu",
            "The owner of this site is not currently allowing any modules to be run.<br/><br/>" +
                Powered);
        // clang-format off
        const Page rows[] = {
            {"", nullptr, true, "/", MainMenu(), 0, {}},
            {"Hi & welcome", nullptr, true, "/", Welcome, LogNotice, "New user logging in. Sending splash screen."},
            {"", nullptr, false, "/", NoModule, 0, {}},
            {"", "Secret", true, "/", Prompt(), 0, {}},
            {"", "", true, "/?P=", Prompt(), 0, {}}, // an empty password still asks
            {"", "Secret", true, "/?P=secret", SplashDeck(Incorrect), LogDetail, "Message to user:" + Incorrect},
            {"", "Secret", true, "/?P=", SplashDeck(Incorrect), LogDetail, "Message to user:" + Incorrect},
            {"", "Secret", true, "/?P=Secret2", SplashDeck(Incorrect), LogDetail, {}},
            {"", "Secret", true, "/?S=x&K=ABC", Protected(), 0, {}},
            {"", nullptr, true, "/favicon.ico", ErrorDeck("An unknown request was sent to Pocketlane."), LogDetail, "Received unknown request. Error sent to user. Request was: /favicon.ico"},
            // A link number with anything after it is no link of the site; a
            // fragment is dropped; a number too large leads nowhere.
            {"", nullptr, true, "/?S=zero", ErrorDeck(Malformed), LogError, Malformed},
            {"", nullptr, true, "/?S=5abc", ErrorDeck(Malformed), 0, {}},
            {"", nullptr, true, "/?S=5/", ErrorDeck(Malformed), 0, {}},
            {"", nullptr, true, "/?S=5;jsessionid=A1B2", ErrorDeck(Malformed), 0, {}},
            {"", nullptr, true, "/?S=99999999999999999999", ErrorDeck(TimedOut), 0, {}},
            {"", nullptr, true, "/?S=5#top", ErrorDeck(TimedOut), LogError, TimedOut},
            {"", nullptr, true, "/?F=1x", ErrorDeck(Malformed), 0, {}},
            {"", nullptr, true, "/?F=999#x", SplashDeck(TimedOut), LogDetail, "Message to user:" + TimedOut}};
        // clang-format on
        for (const Page& row : rows)
            QTest::addRow("%s%s %s %s", row.graffiti ? "" : "no module", row.welcome,
                          row.password ? row.password : "-", row.path)
                << row;
    }
    void pagesFollowTheOptions() {
        QFETCH(Page, page);
        SiteHarness h;
        QVERIFY(h.open());
        h.settings.setSwitch(Settings::WelcomeMessage, *page.welcome);
        h.settings.setText(Settings::WelcomeMessageText, page.welcome);
        h.settings.setSwitch(Settings::EnableGraffiti, page.graffiti);
        h.settings.setSwitch(Settings::EnablePassword, page.password);
        h.settings.setText(Settings::Password, page.password);
        const QByteArray deck = h.deck(page.path);
        QCOMPARE(deck, page.expected);
        QVERIFY_VALID_WML(deck);
        // Asked for again, a page hands out the links it handed out before.
        const qsizetype links = h.links.LinkStateTable().Count();
        QCOMPARE(h.deck(page.path), deck);
        QCOMPARE(h.links.LinkStateTable().Count(), links);
        if (!page.logged.isEmpty())
            QVERIFY(h.temp.lines(page.level).contains(QString::fromUtf8(page.logged)));
    }

    // A guesser of passwords or keys gets its answers one per interval over
    // all visitors together, a visitor who knows the password is let in at
    // once meanwhile, and only the right key opens a link.
    void guessesAreAnsweredSlowlyAndRightPasswordsAtOnce() {
        SiteHarness h;
        QVERIFY(h.open());
        h.settings.setSwitch(Settings::EnablePassword, true);
        h.settings.setText(Settings::Password, "Secret");
        const QByteArray keyed = SiteHarness::linkTitled(h.deck("/?P=Secret"), "Graffiti");
        const QRegularExpression keyedLink(u"^/\\?S=\\d+&K=[-_A-Za-z0-9]{11}$"_s);
        QVERIFY(keyedLink.match(QString::fromUtf8(keyed)).hasMatch());
        QVERIFY(h.deck(keyed).contains("<card id=\"Graffiti\""));
        QCOMPARE(h.deck(keyed.left(keyed.indexOf('&'))), Protected());
        QByteArray wrongKey = keyed;
        wrongKey.back() = wrongKey.back() == 'A' ? 'B' : 'A';
        // clang-format off
        const QList<QByteArray> guesses = {"/?P=a", "/?P=b", "/?P=c", "/?P=d", "/?P=e", "/?F=0&K=x",
                                           wrongKey, "/?S=123&K=abcdefghijk"};
        // clang-format on
        QElapsedTimer clock;
        clock.start();
        std::deque<LoopbackClient> guessers;
        for (const QByteArray& guess : guesses)
            guessers.emplace_back(h.server.Port()).Send(LoopbackClient::Request(guess));
        QVERIFY(h.deck("/?P=Secret").contains("<card id=\"MainMenu\""));
        QVERIFY(std::count_if(guessers.begin(), guessers.end(),
                              [](auto& g) { return !g.Received().isEmpty(); }) <= 1);
        for (auto& guesser : guessers)
            QVERIFY(guesser.WaitClosed());
        QVERIFY(clock.elapsed() >= qint64(guesses.size() - 1) * GuessThrottle::AnswerIntervalMs);
        QCOMPARE(DeckOf(guessers.front().Received()), SplashDeck(Incorrect));
        for (int i = 6; i < guesses.size(); ++i)
            QCOMPARE(DeckOf(guessers[i].Received()), Protected());
        // The welcome picture is a file link, keyed while the password is on:
        // without its key it meets the password step.
        h.settings.setSwitch(Settings::ShowWelcomeGraphic, true);
        h.settings.setText(Settings::ShowWelcomeGraphicFilename, "/hello.gif");
        h.settings.setSwitch(Settings::WelcomeMessage, true);
        h.settings.setText(Settings::WelcomeMessageText, "<Hi> & $(x)");
        const QByteArray welcome = h.deck("/");
        QVERIFY_VALID_WML(welcome);
        QVERIFY(welcome.contains("alt=\"Welcome!\" align=\"top\"/><br/>&lt;Hi&gt; &amp; $$(x)<br/>"
                                 "<br/>Please enter Password:"));
        const QRegularExpression source(u"<img src=\"(/\\?F=\\d+)&amp;K="_s);
        const QString unkeyed = source.match(QString::fromUtf8(welcome)).captured(1);
        QVERIFY(!unkeyed.isEmpty() && h.deck(unkeyed.toUtf8()).contains("Please enter Password:"));
        // A request behind a guess on its connection waits for the guess's
        // answer, which closes the connection: the answers never swap.
        LoopbackClient both(h.server.Port());
        both.Send(LoopbackClient::Request("/?P=wrong"));
        QTest::qWait(20);
        both.Send(LoopbackClient::Request("/?P=Secret"));
        QVERIFY(both.WaitClosed());
        QCOMPARE(DeckOf(both.Received()), SplashDeck(Incorrect));
        QCOMPARE(both.Received().count("HTTP/1.1 "), 1);
    }

    // Visitor text is shown escaped and kept as sent; a long post with line
    // breaks is logged on one line, cut with a mark, its line breaks visible.
    // The board shows the last ten posts.
    void graffitiRoundTrip() {
        SiteHarness h;
        QVERIFY(h.open());
        const QByteArray link = SiteHarness::linkTitled(h.deck("/"), "Graffiti");
        const QByteArray form = h.deck(SiteHarness::linkTitled(h.deck(link), "Add Graffiti"));
        QVERIFY_VALID_WML(form);
        QVERIFY(form.contains("<b>Enter your Graffiti below</b><br/><br/><input name=\"G\" "
                              "maxlength=\"60\"/><br/>"));
        const QByteArray submit = SiteHarness::linkTitled(form, "Submit");
        QVERIFY(submit.endsWith("&G=$(G)"));
        const QByteArray message = "<b> $(x) costs $5 > & 100%41 sure? a+b=c";
        const QByteArray shown = h.deck(submit.chopped(4) + Url(message));
        QVERIFY_VALID_WML(shown);
        QVERIFY(shown.contains("&lt;b&gt; $$(x) costs $$5 &gt; &amp; 100%41 sure? a+b=c<br/><b>"));
        QCOMPARE(h.board.messages(), QList<QByteArray>{message});
        const QByteArray post = "hi\nPocketlane stopped by user\n" + QByteArray(12000, 'x');
        h.deck(submit.chopped(4) + Url(post));
        const QStringList logged = h.temp.lines(LogNotice).filter(u"graffiti"_s);
        QCOMPARE(logged.size(), 2);
        QCOMPARE(logged.first(), "User added graffiti:"_L1 + QString::fromUtf8(message));
        QVERIFY(logged.last().startsWith(u"User added graffiti:hi\\nPocketlane stopped"_s));
        QVERIFY(logged.last().endsWith(QString::fromLatin1(SafeText::CutMark)));
        QVERIFY(!logged.last().contains(u'\n') && logged.last().size() < 100);
        // The board shows the last ten (of 16: m4 to m13), in alternating styles.
        QByteArray expected;
        for (int i = 0; i <= 13; ++i) {
            h.board.AddGraffiti("m" + QByteArray::number(i));
            if (i > 3)
                expected += i % 2 ? "<i>m" + QByteArray::number(i) + "</i><br/>"
                                  : "m" + QByteArray::number(i) + "<br/>";
        }
        const QByteArray board = h.deck(link);
        QVERIFY_VALID_WML(board);
        QVERIFY(board.contains("<p>" + expected + "<b>==============</b><br/><a href="));
        // After a stop and start the links handed out before lead nowhere.
        QVERIFY(h.deck("/anything" + link.sliced(1)).contains("<card id=\"Graffiti\""));
        QVERIFY(h.deck(link + "#top").contains("<card id=\"Graffiti\""));
        h.server.StopServer();
        QVERIFY(h.server.StartServer());
        QCOMPARE(h.deck(link), ErrorDeck(TimedOut));
        QCOMPARE(h.links.LinkStateTable().Count(), 0);
    }

    // Requests put together at random from the site's own variables and odd
    // values, under changing options: every one is answered with a
    // well-formed deck or a file, and the site goes on serving.
    void randomRequestsNeverBreakTheSite() {
        SiteHarness h;
        QVERIFY(h.open());
        const QString share = h.temp.dir.filePath(u"share"_s);
        QVERIFY(QDir().mkpath(share + "/sub\x01 dir"_L1) &&
                QFile(share + "/tune.mid"_L1).open(QIODevice::WriteOnly));
        h.folders.addFolder(share.toUtf8(), [] { return true; });
        QRandomGenerator random(20261206);
        const QByteArray names[] = {"S", "F", "K", "P", "G", "s", "D"};
        // clang-format off
        const QByteArray values[] = {"0", "1", "-1", "99999999999999999999", "", "%", "%zz", "%00",
                                     "9223372036854775807", "a=b", "$(P)", "%26", "?", "%3F%3F"};
        // clang-format on
        for (int round = 0; round < 300; ++round) {
            if (round % 50 == 0) {
                h.settings.setSwitch(Settings::EnablePassword, random.bounded(2));
                h.settings.setSwitch(Settings::EnableSharedFolders, random.bounded(2));
            }
            QByteArray path = random.bounded(4) ? "/" : "/x%41";
            for (int i = 0, count = random.bounded(4); i < count; ++i)
                path += (i ? "&" : "?") + names[random.bounded(7)] + '=' +
                        (random.bounded(3) ? values[random.bounded(14)]
                                           : QByteArray::number(random.bounded(400)));
            const QByteArray answer = h.answer(path);
            QVERIFY2(answer.startsWith("HTTP/1.1 "), path.constData()); // never silence
            QXmlStreamReader reader(DeckOf(answer));
            while (answer.contains("text/vnd.wap.wml") && !reader.atEnd())
                reader.readNext();
            QVERIFY2(!reader.hasError(), path.constData());
        }
        h.settings.setSwitch(Settings::EnablePassword, false);
        QCOMPARE(h.deck("/"), MainMenu());
    }

    // While the password is on, page and file links carry a key; a record
    // made before it was on is not handed out again. Keys cannot be guessed.
    // A flood of requests for pages that exist already adds nothing: only
    // distinct records take room, the oldest are forgotten, and a record
    // pushed out is made anew. A link of an earlier run leads nowhere: each
    // run numbers from its own random point, and after a stop numbering goes on.
    void linkRecordsKeysAndRuns() {
        bool password = false;
        SiteLinks links([&] { return password; }, 0);
        QCOMPARE(links.MakeLink({}, {}, {}, 1, "G", {}, {}, {}), QByteArray("/?S=0"));
        QCOMPARE(links.RegisterFileLink("/a.wbmp"), QByteArray("/?F=0"));
        password = true;
        const QByteArray keyed[] = {links.MakeLink({}, {}, {}, 1, "G", {}, {}, {}),
                                    links.MakeLink({}, {}, {}, 1, "M", "L", {}, "&P=$(P)"),
                                    links.RegisterFileLink("/a.wbmp")};
        QCOMPARE(keyed[0], "/?S=1&amp;K=" + links.FindLinkState(1)->K);
        QCOMPARE(keyed[1], "/?S=2&amp;K=" + links.FindLinkState(2)->K + "&amp;P=$(P)");
        QCOMPARE(keyed[2], "/?F=1&amp;K=" + links.FindFileLink(1)->key);
        QCOMPARE(links.RegisterFileLink("/a.wbmp"), keyed[2]);
        QVERIFY(links.FindLinkState(0)->K.isEmpty());
        const QRegularExpression keyShape(u"^[-_A-Za-z0-9]{11}$"_s);
        QSet<QByteArray> seen;
        for (int i = 0; i < 20000; ++i)
            seen.insert(SiteLinks::MakeLinkKey());
        QCOMPARE(seen.size(), 20000);
        for (const QByteArray& key : seen)
            QVERIFY2(keyShape.match(QString::fromLatin1(key)).hasMatch(), key.constData());

        SiteLinks table([] { return false; }, 0);
        const QByteArray menu = table.MakeMainMenuLink();
        for (int i = 0; i < 3 * SiteLinks::LinkCapacity; ++i)
            QCOMPARE(table.MakeMainMenuLink(), menu);
        QCOMPARE(table.LinkStateTable().Count(), 1);
        for (qint64 i = 0; i < SiteLinks::LinkCapacity; ++i)
            table.MakeLink({}, QByteArray::number(i), {}, 1, "F", {}, {}, {});
        QVERIFY(!table.FindLinkState(0));
        QCOMPARE(table.FindLinkState(1)->D, QByteArray("0"));
        QCOMPARE(table.FindLinkState(SiteLinks::LinkCapacity)->D,
                 QByteArray::number(SiteLinks::LinkCapacity - 1));
        QVERIFY(!table.FindLinkState(SiteLinks::LinkCapacity + 1));
        QCOMPARE(table.MakeMainMenuLink(),
                 "/?S=" + QByteArray::number(SiteLinks::LinkCapacity + 1));
        QVERIFY(!table.FindLinkState(1));
        QCOMPARE(table.LinkStateTable().Count(), SiteLinks::LinkCapacity);
        QSet<QByteArray> firstLinks;
        for (int run = 0; run < 20; ++run)
            firstLinks.insert(SiteLinks([] { return false; }).MakeMainMenuLink());
        QCOMPARE(firstLinks.size(), 20);
        const qint64 last = SiteLinks::LinkCapacity + 1; // the menu link made last
        table.RegisterFileLink("/x");
        table.Erase();
        QVERIFY(!table.FindLinkState(last) && !table.FindFileLink(0));
        for (qint64 i = last + 1; i < last + 50; ++i)
            QCOMPARE(table.MakeLink({}, QByteArray::number(i), {}, 1, "F", {}, {}, {}),
                     "/?S=" + QByteArray::number(i));
        QCOMPARE(table.FindLinkState(last + 49)->D, QByteArray::number(last + 49));
    }

    // The stamp follows the options at each post; a post is cut to 60
    // characters, stamp included, never inside a character, and made safe;
    // the board keeps the newest.
    void boardStampsCutsAndKeepsTheNewest() {
        TempSettings t;
        GraffitiBoard board(*t.settings);
        board.setClock([] { return QDateTime(QDate(2023, 12, 5), QTime(14, 3)); });
        for (const auto& [date, time] :
             {std::pair{false, false}, {true, false}, {true, true}, {false, true}}) {
            t.settings->setSwitch(Settings::GraffitiShowDate, date);
            t.settings->setSwitch(Settings::GraffitiShowTime, time);
            board.AddGraffiti("Hello");
        }
        QVERIFY(!board.AddGraffiti(QByteArray()));
        QCOMPARE(board.messages(), (QList<QByteArray>{"Hello", "05 Dec - Hello",
                                                      "05 Dec 14:03 - Hello", "14:03 - Hello"}));
        board.AddGraffiti(QByteArray(60, 'x'));
        QCOMPARE(board.messages().last(), "14:03 - " + QByteArray(52, 'x'));
        t.settings->setSwitch(Settings::GraffitiShowTime, false);
        const QByteArray accents = QByteArray("\xC3\xA9").repeated(70);
        board.AddGraffiti(accents);
        QCOMPARE(board.messages().last(), accents.left(120));
        board.AddGraffiti("<b>\x01\xFF&");
        QCOMPARE(board.messages().last(), QByteArray("<b>??&"));
        for (int i = 0; i < GraffitiBoard::MaxMessages; ++i)
            board.AddGraffiti(QByteArray::number(i));
        QCOMPARE(board.count(), GraffitiBoard::MaxMessages);
        QCOMPARE(board.messages().first(), QByteArray("0"));
        QCOMPARE(board.firstOfLast(10), GraffitiBoard::MaxMessages - 10);
    }
};

QTEST_GUILESS_MAIN(tst_Site)
#include "tst_site.moc"
