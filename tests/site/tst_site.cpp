#include "base/SafeText.h"
#include "site/graffiti/GraffitiStore.h"
#include "support/SiteHarness.h"
#include "support/WmlValidation.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QXmlStreamReader>

#include <deque>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

    // Guesses of the password and of link keys take turns, right or wrong
    // alike. A guesser with many connections, some closed early, learns one
    // wrong guess per turn, gets the right password answered in its turn like
    // any other (so its timing tells nothing), and past his few waiting
    // guesses is told to try again without a check, the right password too.
    // Guesses of connections that closed are never checked. A visitor from
    // another address is let in meanwhile, ahead of the guesser's queue.
    void guessesTakeTurnsRightOrWrongAlike() {
        SiteHarness h;
        QVERIFY(h.open());
        h.settings.setSwitch(Settings::EnablePassword, true);
        h.settings.setText(Settings::Password, "1234");
        h.settings.setSwitch(Settings::ExtendedLogging, true);
        const QByteArray keyed = SiteHarness::linkTitled(h.deck("/?P=1234"), "Graffiti");
        const QRegularExpression keyedLink(u"^/\\?S=\\d+&K=[-_A-Za-z0-9]{11}$"_s);
        QVERIFY(keyedLink.match(QString::fromUtf8(keyed)).hasMatch());
        QCOMPARE(h.deck(keyed.left(keyed.indexOf('&'))), Protected());
        QByteArray wrongKey = keyed;
        wrongKey.back() = wrongKey.back() == 'A' ? 'B' : 'A';
        // The wrong key's turn ends; the first guess below is due at once.
        QTest::qWait(GuessThrottle::AnswerIntervalMs);
        const int logStart = h.temp.log->lines().size();
        const auto requestsRead = [&] {
            const QList<StatusLog::Line> lines = h.temp.log->lines().mid(logStart);
            return std::count_if(lines.begin(), lines.end(), [](const StatusLog::Line& line) {
                return line.message == "Incoming data on Socket"_L1;
            });
        };
        // clang-format off
        const QList<QByteArray> guesses = {"/?P=0000", "/?P=0001", "/?P=0002", "/?P=1234", wrongKey,
                                           "/?P=0003", keyed, "/?P=0004", "/?P=0005", "/?P=1234",
                                           "/?P=0006", "/?P=1234"};
        // clang-format on
        const QSet<int> leaveEarly = {1, 5};
        std::deque<LoopbackClient> guessers;
        for (const QByteArray& guess : guesses) {
            const auto read = requestsRead();
            guessers.emplace_back(h.server.Port()).Send(LoopbackClient::Request(guess));
            QVERIFY(QTest::qWaitFor([&] { return requestsRead() > read; })); // in this order
            if (leaveEarly.contains(int(guessers.size()) - 1)) {
                const int open = h.server.OpenConnections();
                guessers.back().Socket().abort();
                QVERIFY(QTest::qWaitFor([&] { return h.server.OpenConnections() < open; }));
            }
        }
        LoopbackClient visitor(h.server.Port(), QHostAddress(u"127.0.0.2"_s));
        visitor.Send(LoopbackClient::Request("/?P=1234"));
        QVERIFY(visitor.WaitClosed());
        QVERIFY(guessers.back().WaitClosed());
        QVERIFY(guessers[9].Received().isEmpty()); // still waiting for their turns
        QVERIFY(guessers[10].Received().isEmpty());
        const auto letIn = [](LoopbackClient& client) {
            return DeckOf(client.Received()).contains("<card id=\"MainMenu\"");
        };
        QVERIFY(letIn(visitor));
        QCOMPARE(DeckOf(guessers.back().Received()), SplashDeck(SitePages::TryAgainMessage));
        const QList<QByteArray> decks = {SplashDeck(Incorrect), {},
                                         SplashDeck(Incorrect), DeckOf(guessers[3].Received()),
                                         Protected(),           {}};
        for (int i = 0; i < guesses.size() - 1; ++i) {
            if (!leaveEarly.contains(i))
                QVERIFY(guessers[i].WaitClosed());
        }
        for (int i = 0; i < decks.size(); ++i)
            QCOMPARE(DeckOf(guessers[i].Received()), decks[i]);
        QVERIFY(DeckOf(guessers[6].Received()).contains("<card id=\"Graffiti\""));
        QVERIFY(letIn(guessers[3]) && letIn(guessers[9]));
        QCOMPARE(DeckOf(guessers[10].Received()), SplashDeck(Incorrect));
        // The server's log: wrong guesses answered one turn apart, the right
        // one in its turn, those who left never checked.
        // Held back, the second wrong answer comes only after the last guess was read, however
        // slowly the guesses arrived; one answered as soon as read would come before.
        QList<QDateTime> wrong, right;
        qsizetype reads = 0, lastGuessRead = -1, secondWrong = -1;
        const QList<StatusLog::Line> lines = h.temp.log->lines().mid(logStart);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString& message = lines[i].message;
            if (message == "Incoming data on Socket"_L1 && ++reads == guesses.size())
                lastGuessRead = i;
            if (message == "Message to user:"_L1 + QString::fromUtf8(Incorrect) ||
                message.contains("password protected"_L1)) {
                wrong << lines[i].when;
                if (wrong.size() == 2)
                    secondWrong = i;
            } else if (message.startsWith("New user logging in"_L1)) {
                right << lines[i].when;
            }
        }
        QVERIFY(lastGuessRead >= 0 && secondWrong > lastGuessRead);
        QCOMPARE(wrong.size(), 6); // 0000, 0002, the wrong key, 0004, 0005, 0006
        for (int i = 1; i < wrong.size(); ++i)
            QVERIFY(wrong[i - 1].msecsTo(wrong[i]) >= GuessThrottle::AnswerIntervalMs - 2);
        QCOMPARE(right.size(), 3); // the guesser's 1234 twice, the visitor
        for (const QDateTime& when : right)
            QVERIFY(wrong[1].msecsTo(when) >= GuessThrottle::AnswerIntervalMs - 2);
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
        const auto readBefore = requestsRead();
        both.Send(LoopbackClient::Request("/?P=wrong"));
        QVERIFY(QTest::qWaitFor([&] { return requestsRead() > readBefore; }));
        both.Send(LoopbackClient::Request("/?P=1234"));
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

    // Ten 60-character messages of 3-byte (CJK) and of 4-byte characters,
    // with the site password on (keyed links): each board page compiles, by
    // the gateway's own WML compiler, to at most 1,400 bytes; forward the
    // pages show the ten once each, newest first by page, in their styles;
    // back leads to the page seen before.
    void boardPagesFitSmallPhones() {
        SiteHarness h;
        h.settings.setSwitch(Settings::EnablePassword, true);
        h.settings.setText(Settings::Password, "pw");
        QVERIFY(h.open());
        const QByteArray link = SiteHarness::linkTitled(h.deck("/?P=pw"), "Graffiti");
        for (const char32_t character : {U'\u6F22', U'\U0001F600'}) {
            h.board.removeAll();
            QList<QByteArray> posted;
            for (int i = 0; i < 10; ++i) {
                posted
                    << (QString(59, QChar(u'x')).replace(u"x"_s, QString::fromUcs4(&character, 1)) +
                        QChar(u'0' + i))
                           .toUtf8();
                h.board.AddGraffiti(posted.last());
            }
            QList<QByteArray> shown, pageDecks;
            QByteArray page = h.deck(link);
            for (int number = 2; !page.isEmpty(); ++number) {
                const qint64 compiled = WmlValidation::CompiledSize(page);
                QVERIFY2(compiled > 0 && compiled <= 1400, QByteArray::number(compiled));
                QList<QByteArray> onPage;
                for (int i = 0; i < 10; ++i) {
                    const QByteArray styled =
                        i % 2 ? "<i>" + posted[i] + "</i><br/>" : posted[i] + "<br/>";
                    if (page.contains(styled))
                        onPage << posted[i];
                }
                QVERIFY(!onPage.isEmpty());
                shown = onPage + shown;
                pageDecks << page;
                const QByteArray forward =
                    SiteHarness::linkTitled(page, "Forward to Page " + QByteArray::number(number));
                page = forward.isEmpty() ? QByteArray() : h.deck(forward);
            }
            QCOMPARE(shown, posted);
            QVERIFY(pageDecks.size() >= 2);
            const QByteArray back = SiteHarness::linkTitled(
                pageDecks.last(), "Back to Page " + QByteArray::number(pageDecks.size() - 1));
            QCOMPARE(h.deck(back), pageDecks.at(pageDecks.size() - 2));
        }
    }

    // The stored board follows every change, one message at a time, and
    // comes back after a restart, numbers going on; Remove and Remove All
    // last; it holds the newest 10,000; with KeepGraffiti off the stored
    // board is emptied and posts stay in memory, on again it is stored.
    void boardKeptAcrossRestarts() {
        TempSettings t;
        const QString path = t.dir.filePath(u"data/graffiti.sqlite"_s);
        const auto stored = [&path](const char* sql) {
            QSqlDatabase database = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
            database.setDatabaseName(path);
            QVariant value;
            if (database.open()) {
                QSqlQuery query(database);
                if (query.exec(QString::fromLatin1(sql)) && query.next())
                    value = query.value(0);
            }
            database = {};
            QSqlDatabase::removeDatabase(u"check"_s);
            return value;
        };
        struct Run {
            GraffitiBoard board;
            GraffitiStore store;
            Run(TempSettings& t, const QString& path)
                : board(*t.settings)
                , store(board, *t.settings, *t.log, path) {
                store.Start();
            }
        };
        auto run = std::make_unique<Run>(t, path);
        for (const char* text : {"one", "two", "three"})
            run->board.AddGraffiti(text);
        run->board.removeAt(1);
        struct stat file {};
        QVERIFY(::stat(QFile::encodeName(path).constData(), &file) == 0);
        QCOMPARE(file.st_mode & 0777, 0600u);
        run = std::make_unique<Run>(t, path);
        QCOMPARE(run->board.messages(), (QList<QByteArray>{"one", "three"}));
        run->board.AddGraffiti("four");
        QCOMPARE(run->board.entries().last().id, 4);
        run->board.removeAll();
        run = std::make_unique<Run>(t, path);
        QCOMPARE(run->board.count(), 0);
        for (int i = 0; i <= GraffitiBoard::MaxMessages; ++i)
            run->board.AddGraffiti(QByteArray::number(i));
        QCOMPARE(stored("SELECT count(*) FROM graffiti").toInt(), GraffitiBoard::MaxMessages);
        run = std::make_unique<Run>(t, path);
        QCOMPARE(run->board.count(), GraffitiBoard::MaxMessages);
        QCOMPARE(run->board.text(0), "1");
        t.settings->setSwitch(Settings::KeepGraffiti, false);
        QCOMPARE(stored("SELECT count(*) FROM graffiti").toInt(), 0);
        run->board.AddGraffiti("memory only");
        QCOMPARE(stored("SELECT count(*) FROM graffiti").toInt(), 0);
        t.settings->setSwitch(Settings::KeepGraffiti, true);
        QCOMPARE(stored("SELECT text FROM graffiti ORDER BY id DESC").toByteArray(), "memory only");
        QVERIFY(t.lines(LogError).isEmpty());
    }

    // A file that is not a database: one level-1 line, the file kept aside
    // as it was, the board working in memory. A database locked by another
    // program: a post is not waited on, and lands once the lock is gone.
    void unusableOrLockedFileLeavesAWorkingBoard() {
        TempSettings t;
        const QString path = t.dir.filePath(u"graffiti.sqlite"_s);
        QFile garbage(path);
        QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write(QByteArray(8192, 'g')) == 8192);
        garbage.close();
        {
            GraffitiBoard board(*t.settings);
            GraffitiStore store(board, *t.settings, *t.log, path);
            store.Start();
            QVERIFY(!store.IsKeeping() && board.AddGraffiti("still here") &&
                    board.AddGraffiti("and here"));
            QCOMPARE(board.count(), 2);
            const QStringList errors = t.lines(LogError);
            QCOMPARE(errors.size(), 1);
            QVERIFY2(errors.first().contains(path + u".unreadable-"_s), qPrintable(errors.first()));
            const QStringList aside =
                QDir(t.dir.path()).entryList({u"graffiti.sqlite.unreadable-*"_s});
            QCOMPARE(aside.size(), 1);
            QCOMPARE(fileContents(t.dir.filePath(aside.first())), QByteArray(8192, 'g'));
            QVERIFY(!QFile::exists(path));
        }
        GraffitiBoard board(*t.settings);
        GraffitiStore store(board, *t.settings, *t.log, path);
        store.Start();
        QVERIFY(store.IsKeeping());
        QSqlDatabase locker = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"locker"_s);
        locker.setDatabaseName(path);
        QVERIFY(locker.open() && QSqlQuery(locker).exec(u"BEGIN EXCLUSIVE"_s));
        QVERIFY(board.AddGraffiti("while locked"));
        QCOMPARE(store.PendingWrites(), 1);
        QVERIFY(QSqlQuery(locker).exec(u"COMMIT"_s));
        QTRY_COMPARE(store.PendingWrites(), 0);
        QSqlQuery query(locker);
        QVERIFY(query.exec(u"SELECT text FROM graffiti"_s) && query.next());
        QCOMPARE(query.value(0).toByteArray(), "while locked");
        query = QSqlQuery();
        locker.close();
        locker = {};
        QSqlDatabase::removeDatabase(u"locker"_s);
        QCOMPARE(t.lines(LogError).size(), 1);
    }

    // 200 times: a process posts as fast as it can and tells each post it
    // finished, and is killed (SIGKILL) after a few. The database then opens
    // cleanly and holds every post acknowledged, in order.
    void killedWhilePostingLosesNothingAcknowledged() {
        TempSettings t;
        const QString path = t.dir.filePath(u"graffiti.sqlite"_s);
        GraffitiBoard first(*t.settings);
        GraffitiStore(first, *t.settings, *t.log, path).Start(); // loads the driver before fork()
        QList<QByteArray> acknowledged;
        for (int run = 0; run < 200; ++run) {
            int acks[2];
            QCOMPARE(::pipe(acks), 0);
            const pid_t child = ::fork();
            if (child == 0) {
                ::close(acks[0]);
                GraffitiBoard board(*t.settings);
                GraffitiStore store(board, *t.settings, *t.log, path);
                store.Start();
                for (qint32 i = 0;; ++i) {
                    board.AddGraffiti(QByteArray::number(run) + '.' + QByteArray::number(i));
                    if (::write(acks[1], &i, sizeof i) != sizeof i)
                        ::_exit(1);
                }
            }
            ::close(acks[1]);
            const int wanted = QRandomGenerator::global()->bounded(1, 6);
            qint32 i = -1;
            for (int n = 0; n < wanted && ::read(acks[0], &i, sizeof i) == sizeof i; ++n)
                acknowledged << QByteArray::number(run) + '.' + QByteArray::number(i);
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            ::close(acks[0]);
        }
        GraffitiBoard board(*t.settings);
        GraffitiStore store(board, *t.settings, *t.log, path);
        store.Start();
        QVERIFY(store.IsKeeping());
        QVERIFY(t.lines(LogError).isEmpty());
        const QList<QByteArray> kept = board.messages();
        qsizetype at = 0;
        for (const QByteArray& message : std::as_const(acknowledged)) {
            at = kept.indexOf(message, at);
            QVERIFY2(at >= 0, message.constData());
        }
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
