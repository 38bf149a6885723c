// The real program behind the Kannel WAP gateway: a phone enters the site,
// loads the welcome picture, logs in, writes on the Graffiti board and walks
// a shared folder down to a ring tone that it downloads, all over WSP; every
// deck it receives is checked in its decompiled form.

#include "site/WbmpCodec.h"
#include "support/PocketlaneProcess.h"
#include "support/StandInPage.h"
#include "support/TempSettings.h"
#include "support/TestPictures.h"
#include "support/TestSupport.h"
#include "support/WapGateway.h"
#include "support/WspClient.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <QUrl>
#include <QXmlStreamReader>

#include <csignal>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QByteArray CompiledDeckType = "application/vnd.wap.wmlc";
const QString WelcomePicturePath = TestSupport::sourceDir() + u"/data/Pocketlane.wbmp"_s;

// The `attribute` of the first `element` of a deck whose text is `text`
// (whatever its text when `text` is null), as the phone reads it.
QByteArray attributeOf(const QByteArray& wml, QLatin1String element, QLatin1String attribute,
                       const QByteArray& text = {}) {
    QXmlStreamReader reader(wml);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != element)
            continue;
        const QString value = reader.attributes().value(attribute).toString();
        if (text.isNull() ||
            reader.readElementText(QXmlStreamReader::IncludeChildElements).simplified() ==
                QString::fromUtf8(text))
            return value.toUtf8();
    }
    return {};
}
QByteArray linkTitled(const QByteArray& wml, const QByteArray& title) {
    return attributeOf(wml, "a"_L1, "href"_L1, title);
}
QByteArray imageSource(const QByteArray& wml) {
    return attributeOf(wml, "img"_L1, "src"_L1);
}

// The process id of `parent`'s child running `name`, 0 when there is none.
qint64 childNamed(qint64 parent, const QByteArray& name) {
    for (const QString& entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile stat(u"/proc/"_s + entry + u"/stat"_s);
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ..."
        const QByteArray text = stat.readAll();
        const qsizetype close = text.lastIndexOf(')');
        const QList<QByteArray> fields = text.mid(close + 2).split(' ');
        if (close > 0 && fields.size() > 1 && fields[1].toLongLong() == parent &&
            text.mid(text.indexOf('(') + 1, close - text.indexOf('(') - 1) == name)
            return entry.toLongLong();
    }
    return 0;
}

bool udpPortsFree(const QHostAddress& address) {
    QUdpSocket connectionless, connectionOriented;
    return connectionless.bind(address, WspClient::ConnectionlessPort) &&
           connectionOriented.bind(address, WspClient::ConnectionlessPort + 1);
}

} // namespace

// Ends the test at the first step that failed: later pages need its links.
#define STEP(call)                                                                                 \
    do {                                                                                           \
        call;                                                                                      \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)

class TestGatewaySite : public QObject {
    Q_OBJECT
    std::unique_ptr<WapGateway> m_gateway;
    std::unique_ptr<WspClient> m_phone;
    QTemporaryDir m_dir;
    PocketlaneProcess m_program;
    QByteArray m_picture = fileContents(WelcomePicturePath);
    // The program that the phone's requests reach.
    PocketlaneProcess* m_site = &m_program;

    // Fetches path through the gateway and checks that `type` came back: its
    // body goes to `body`, a compiled deck as its WML text.
    void fetch(const QByteArray& path, const QByteArray& type, QByteArray& body) {
        QVERIFY2(!path.isEmpty(), "no link to follow");
        const WspReply reply =
            m_phone->get("http://127.0.0.1:" + QByteArray::number(m_site->Port()) + path);
        QVERIFY2(reply.error.isEmpty() && reply.status == 0x20 && reply.contentType == type,
                 qPrintable(u"%1 WSP 0x%2 %3, %4 bytes\n"_s.arg(reply.error)
                                .arg(reply.status, 0, 16)
                                .arg(QString::fromLatin1(reply.contentType))
                                .arg(reply.body.size()) +
                            m_gateway->logs() + QString::fromLocal8Bit(m_site->StandardError())));
        body = type == CompiledDeckType ? WapGateway::decompile(reply.body) : reply.body;
    }
    // A compiled deck holding every one of `expected`.
    void fetchDeck(const QByteArray& path, const QList<QByteArray>& expected, QByteArray& wml) {
        STEP(fetch(path, CompiledDeckType, wml));
        for (const QByteArray& text : expected)
            QVERIFY2(wml.contains(text), qPrintable(QString::fromUtf8(text + "\nnot in\n" + wml)));
    }

private Q_SLOTS:
    void initTestCase() {
        const QString missing = WapGateway::missing();
        QVERIFY2(missing.isEmpty(), qPrintable(missing + u" is missing; run scripts/setup.sh"_s));
        QVERIFY2(!m_picture.isEmpty(), "data/Pocketlane.wbmp is missing");
        m_gateway = std::make_unique<WapGateway>();
        QVERIFY2(m_gateway->start(), qPrintable(m_gateway->errorString()));
        m_phone = std::make_unique<WspClient>(m_gateway->address());
    }
    void cleanupTestCase() { m_gateway.reset(); }

    // A phone reads the welcome text as text, logs in with the site password
    // and follows keyed links (their & escaped in the compiled deck), the
    // welcome picture's with its own key; a ring tone downloaded from a shared
    // folder; names and board texts beyond ASCII reach the phone as typed,
    // text a phone sends in ISO-8859-1 included; a black-and-white phone
    // that takes only WBMP among pictures (the gateway passing on its */*)
    // sees a JPEG's inline picture as a WBMP within its model's screen.
    void phoneWalksTheSite() {
        const QDir music(m_dir.filePath(u"music"_s));
        QVERIFY(music.mkpath(u"RING tones"_s));
        QByteArray tune("MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60MTrk", 18);
        tune += QByteArray(3000, '\x90');
        for (const auto& [name, bytes] : {std::pair{u"RING tones/tune.MID"_s, tune},
                                          {u"Café Olé.imy"_s, QByteArray("x")},
                                          {u"Photo.jpg"_s, JpegOf(QSize(640, 480))}}) {
            QFile file(music.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
        // The program with its own settings file, set up through its
        // administration commands before it starts serving.
        const QStringList settings{u"--settings"_s, m_dir.filePath(u"settings.reg"_s)};
        QStringList arguments = settings + QStringList{u"--share"_s, music.path()};
        for (const QString& assignment :
             {u"ShowWelcomeGraphic=Y"_s, u"ShowWelcomeGraphicFilename="_s + WelcomePicturePath,
              u"WelcomeMessage=Y"_s, u"WelcomeMessageText=Hello <phones> & friends"_s,
              u"EnablePassword=Y"_s, u"Password=Open Sesame"_s, u"EnableGraffiti=Y"_s,
              u"EnableSharedFolders=Y"_s})
            arguments << u"--set"_s << assignment;
        QCOMPARE(PocketlaneProcess::RunToEnd(arguments, m_program.Environment()).exitCode, 0);
        QVERIFY2(m_program.Start(settings), m_program.StandardError().constData());
        // The gateway answers 406 for a type the phone does not list as accepted.
        m_phone->setAcceptedTypes({"application/vnd.wap.wmlc", "audio/midi", "image/vnd.wap.wbmp"});

        QByteArray menu, page, share, picture;
        STEP(fetchDeck("/",
                       {"Hello &lt;phones&gt; &amp; friends", "alt=\"Welcome!\"",
                        "Please enter Password:", "name=\"P\"", "Powered by Pocketlane"},
                       page));
        QVERIFY2(imageSource(page).contains("&K="), page.constData());
        STEP(fetch(imageSource(page), "image/vnd.wap.wbmp", picture));
        QCOMPARE(picture, m_picture);
        STEP(fetchDeck("/?P=Open%20Sesame", {"title=\"Main Menu\""}, menu));
        STEP(fetchDeck(linkTitled(menu, "Graffiti"),
                       {"No one has added Graffiti, be the first!", "=============="}, page));
        STEP(fetchDeck(linkTitled(page, "Add Graffiti"),
                       {"Enter your Graffiti below", "name=\"G\""}, page));
        // The phone puts the typed text, URL-encoded, in place of $(G).
        QByteArray submit = linkTitled(page, "Submit");
        QVERIFY2(submit.endsWith("&G=$(G:escape)"), submit.constData());
        submit.chop(QByteArray("$(G:escape)").size());
        // Text, not markup.
        const QByteArray markup = "<b>\"Hi\"</b> costs $5 > 4";
        STEP(fetchDeck(submit + QUrl::toPercentEncoding(QString::fromLatin1(markup)),
                       {"&lt;b&gt;&quot;Hi&quot;&lt;/b&gt; costs $5 &gt; 4"}, page));
        QVERIFY(!page.contains("No one has added Graffiti"));
        for (const QString& text :
             {u"Grüße aus Köln"_s, u"Ça coûte 5 € à Noël"_s, u"こんにちは世界"_s})
            STEP(fetchDeck(submit + QUrl::toPercentEncoding(text), {text.toUtf8()}, page));
        STEP(fetchDeck(submit + "caf%E9 cr%E8me", {"café crème"}, page));

        STEP(fetchDeck(linkTitled(menu, "Shared Folders"), {"Root Level Pg:1"}, page));
        STEP(fetchDeck(linkTitled(page, QFile::encodeName(music.path())),
                       {"Café Olé.imy", "[D] Ring Tones"}, share));
        STEP(fetchDeck(linkTitled(share, "[D] Ring Tones"), {"Tune.mid"}, page));
        STEP(fetchDeck(linkTitled(page, "Tune.mid"),
                       {"Filename:", "Tune.mid", "3,018 bytes", "Download File"}, page));
        STEP(fetch(linkTitled(page, "Download File"), "audio/midi", page));
        QCOMPARE(page, tune);
        m_phone->setAcceptedTypes({"application/vnd.wap.wmlc", "image/vnd.wap.wbmp", "*/*"});
        m_phone->setUserAgent("Nokia6310i/1.0 (04.71)");
        STEP(fetchDeck(linkTitled(share, "Photo.jpg"), {"Photo.jpg"}, page));
        QVERIFY(!page.contains("Download File"));
        STEP(fetch(imageSource(page), "image/vnd.wap.wbmp", picture));
        const QSize size = WbmpCodec::ReadSize(picture).value_or(QSize());
        QVERIFY(!size.isEmpty() && size.width() <= 96 && size.height() <= 65);
        QCOMPARE(m_program.Stop(), 0);
        QVERIFY(m_program.StandardError().contains("User added graffiti:" + markup));
    }

    // Every socket of the gateway's boxes stays on loopback.
    void boxesListenAndTalkOnLoopbackOnly() {
        for (const qint64 pid : m_gateway->pids()) {
            const QList<TestSupport::SocketEntry> sockets = TestSupport::socketsOfProcess(pid);
            QVERIFY2(!sockets.isEmpty(), "no sockets found for a box");
            for (const TestSupport::SocketEntry& socket : sockets) {
                const QHostAddress& remote = socket.remoteAddress;
                QVERIFY2(socket.localAddress.isLoopback() &&
                             (remote.isLoopback() || remote.isNull() ||
                              remote.isEqual(QHostAddress::Any, QHostAddress::TolerantConversion)),
                         qPrintable(QString::fromLatin1(socket.protocol) + u' ' +
                                    socket.localAddress.toString() + u" -> "_s +
                                    remote.toString()));
            }
        }
    }

    // The program runs its own gateway with EnableGateway on: a phone walks
    // the site through it; whatever URL the phone names, the page comes from
    // this site (never from another loopback server); a killed wapbox is
    // started again and logged; the option turned off stops both boxes and
    // frees the phones' UDP ports.
    void programRunsItsOwnGateway() {
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(u"music/Tones"_s));
        const QByteArray tune = "MThd, a tune for an old phone";
        QFile tuneFile(home.filePath(u"music/Tones/tune.mid"_s));
        QVERIFY(tuneFile.open(QIODevice::WriteOnly) && tuneFile.write(tune) == tune.size());
        tuneFile.close();
        PocketlaneProcess program;
        const QStringList settings{u"--settings"_s, home.filePath(u"settings.reg"_s)};
        QStringList arguments = settings + QStringList{u"--share"_s, home.filePath(u"music"_s)};
        for (const QString& assignment : {u"ShowWelcomeGraphic=N"_s, u"EnableGraffiti=Y"_s,
                                          u"EnableSharedFolders=Y"_s, u"EnableGateway=Y"_s})
            arguments << u"--set"_s << assignment;
        // Without Kannel the option is refused with the words to install it.
        QProcessEnvironment withoutKannel = program.Environment();
        withoutKannel.insert(u"POCKETLANE_KANNEL_DIR"_s, home.path());
        const PocketlaneProcess::Run refused =
            PocketlaneProcess::RunToEnd(arguments, withoutKannel);
        QVERIFY(refused.exitCode != 0 && refused.err.contains("apt install kannel"));
        QCOMPARE(PocketlaneProcess::RunToEnd(arguments, program.Environment()).exitCode, 0);
        const QHostAddress address = WapGateway::freeLoopbackAddress();
        QVERIFY(!address.isNull());
        QVERIFY2(program.Start(settings + QStringList{u"--gateway-address"_s, address.toString()}),
                 program.StandardError().constData());
        const auto logged = [&](const QByteArray& line, int times = 1) {
            return QTest::qWaitFor([&] { return program.StandardError().count(line) >= times; },
                                   30000);
        };
        QVERIFY2(logged("The WAP gateway runs."), program.StandardError().constData());
        // Its configuration, with the administration password, is the owner's alone.
        const QDir runtime(program.Environment().value(u"XDG_RUNTIME_DIR"_s));
        const QStringList configs = runtime.entryList({u"pocketlane-kannel-*"_s}, QDir::Files);
        QCOMPARE(configs.size(), 1);
        QCOMPARE(QFile::permissions(runtime.filePath(configs.first())),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        m_phone = std::make_unique<WspClient>(address);
        m_phone->setAcceptedTypes({"application/vnd.wap.wmlc", "audio/midi"});
        m_site = &program;
        const auto backToTheFirstProgram = qScopeGuard([this] { m_site = &m_program; });

        QByteArray page, menu;
        STEP(fetchDeck("/", {"Welcome to this Pocketlane users site"}, page));
        STEP(fetchDeck(linkTitled(page, "Enter"), {"title=\"Main Menu\""}, menu));
        STEP(fetchDeck(linkTitled(menu, "Shared Folders"), {"Root Level Pg:1"}, page));
        STEP(fetchDeck(linkTitled(page, QFile::encodeName(home.filePath(u"music"_s))),
                       {"[D] Tones"}, page));
        STEP(fetchDeck(linkTitled(page, "[D] Tones"), {"Tune.mid"}, page));
        STEP(fetchDeck(linkTitled(page, "Tune.mid"), {"Download File"}, page));
        STEP(fetch(linkTitled(page, "Download File"), "audio/midi", page));
        QCOMPARE(page, tune);
        STEP(fetchDeck(linkTitled(menu, "Graffiti"), {"be the first!"}, page));
        STEP(fetchDeck(linkTitled(page, "Add Graffiti"), {"name=\"G\""}, page));
        QByteArray submit = linkTitled(page, "Submit");
        submit.chop(QByteArray("$(G:escape)").size());
        STEP(fetchDeck(submit + QUrl::toPercentEncoding(u"Grüße über WSP"_s), {"Grüße über WSP"},
                       page));

        // Another server on loopback, asked for by absolute URL under every
        // name, is never reached: the site answers in its place.
        StandInPage elsewhere;
        QVERIFY(elsewhere.ListenOnLoopback());
        elsewhere.SetAnswer({StandInPage::HttpPage("<wml>secret</wml>")});
        const QByteArray port = QByteArray::number(elsewhere.Port());
        for (const QByteArray& url :
             {"http://127.0.0.1:" + port + "/", "http://localhost:" + port + "/secret",
              "http://[::1]:" + port + "/", "http://127.0.0.2:" + port + "/?S=1",
              "https://127.0.0.1:" + port + "/"}) {
            const WspReply reply = m_phone->get(url);
            QVERIFY2(reply.error.isEmpty() && !reply.body.contains("secret"), url.constData());
        }
        QCOMPARE(elsewhere.Requests().size(), 0);

        // A killed wapbox is healed within seconds.
        const qint64 wapbox = childNamed(program.Process().processId(), "wapbox");
        QVERIFY(wapbox > 0);
        QVERIFY(::kill(pid_t(wapbox), SIGKILL) == 0);
        QVERIFY2(logged("wapbox was ended by a signal; the WAP gateway starts it again in ") &&
                     logged("The WAP gateway runs.", 2),
                 program.StandardError().constData());
        STEP(fetchDeck("/", {"Welcome to this Pocketlane users site"}, page));

        // Off: both boxes end and the UDP ports are free again.
        QCOMPARE(
            PocketlaneProcess::RunToEnd(settings + QStringList{u"--set"_s, u"EnableGateway=N"_s},
                                        program.Environment())
                .exitCode,
            0);
        QVERIFY2(logged("The WAP gateway has stopped."), program.StandardError().constData());
        QVERIFY(udpPortsFree(address));
        QCOMPARE(childNamed(program.Process().processId(), "bearerbox"), 0);
        QCOMPARE(program.Stop(), 0);
    }
};

QTEST_GUILESS_MAIN(TestGatewaySite)
#include "tst_gatewaysite.moc"
