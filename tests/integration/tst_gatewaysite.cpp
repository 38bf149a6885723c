// The real program behind the Kannel WAP gateway: a phone enters the site,
// follows the main menu, writes on the Graffiti board, loads the welcome
// picture, logs in, and walks a shared folder down to a ring tone that it
// downloads, all over WSP; every deck it receives is checked in its
// decompiled form.

#include "site/WbmpCodec.h"
#include "support/PocketlaneProcess.h"
#include "support/TestPictures.h"
#include "support/TestSupport.h"
#include "support/WapGateway.h"
#include "support/WspClient.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QXmlStreamReader>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QByteArray CompiledDeckType = "application/vnd.wap.wmlc";

QByteArray sourceWelcomePicture() {
    QFile file(TestSupport::sourceDir() + QStringLiteral("/data/Pocketlane.wbmp"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The program with its own settings file, set up through its administration
// commands before it starts serving.
struct ServedSite {
    QTemporaryDir dir;
    QString settingsFile = dir.filePath(QStringLiteral("settings.reg"));
    QString picturePath = dir.filePath(QStringLiteral("welcome.wbmp"));
    QByteArray picture = sourceWelcomePicture();
    PocketlaneProcess program;

    bool start(const QStringList& assignments, const QStringList& shares = {}) {
        QFile file(picturePath);
        if (picture.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(picture) < 0)
            return false;
        file.close();
        QStringList arguments{QStringLiteral("--settings"), settingsFile};
        for (const QString& assignment : assignments)
            arguments << QStringLiteral("--set") << assignment;
        for (const QString& folder : shares)
            arguments << QStringLiteral("--share") << folder;
        const PocketlaneProcess::Run set =
            PocketlaneProcess::RunToEnd(arguments, program.Environment());
        return set.exitCode == 0 && program.Start({QStringLiteral("--settings"), settingsFile});
    }

    QByteArray url(const QByteArray& path) const {
        return "http://127.0.0.1:" + QByteArray::number(program.Port()) + path;
    }
};

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
    return attributeOf(wml, QLatin1String("a"), QLatin1String("href"), title);
}

QByteArray imageSource(const QByteArray& wml) {
    return attributeOf(wml, QLatin1String("img"), QLatin1String("src"));
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
private:
    QString failureReport(const WspReply& reply, ServedSite& site) const {
        return reply.describe() + QLatin1Char('\n') + m_gateway->logs() +
               QString::fromLocal8Bit(site.program.StandardError());
    }

    // Fetches the page at path through the gateway and checks that a
    // compiled deck holding every one of `expected` came back; its WML text
    // goes to wml.
    void fetchDeck(WspClient& phone, ServedSite& site, const QByteArray& path,
                   const QList<QByteArray>& expected, QByteArray& wml) {
        QVERIFY2(!path.isEmpty(), "no link to follow");
        const WspReply reply = phone.get(site.url(path));
        const QString report = failureReport(reply, site);
        QVERIFY2(reply.isComplete() && reply.status == 0x20, qPrintable(report));
        QVERIFY2(reply.contentType == CompiledDeckType, qPrintable(report));
        wml = WapGateway::decompile(reply.body);
        for (const QByteArray& text : expected)
            QVERIFY2(wml.contains(text), qPrintable(QString::fromUtf8(text + "\nnot in\n" + wml)));
    }

    void fetchFile(WspClient& phone, ServedSite& site, const QByteArray& path,
                   const QByteArray& contentType, const QByteArray& bytes) {
        QVERIFY2(path.startsWith("/?F="), path.constData());
        const WspReply reply = phone.get(site.url(path));
        QVERIFY2(reply.status == 0x20 && reply.contentType == contentType,
                 qPrintable(failureReport(reply, site)));
        QCOMPARE(reply.body, bytes);
    }

    void fetchPicture(WspClient& phone, ServedSite& site, const QByteArray& path) {
        fetchFile(phone, site, path, "image/vnd.wap.wbmp", site.picture);
    }

    std::unique_ptr<WapGateway> m_gateway;

private Q_SLOTS:
    void initTestCase() {
        QString missing;
        QVERIFY2(WapGateway::isAvailable(&missing),
                 qPrintable(missing + QStringLiteral(" is missing; run scripts/setup.sh")));
        QVERIFY2(!sourceWelcomePicture().isEmpty(), "data/Pocketlane.wbmp is missing");
        m_gateway = std::make_unique<WapGateway>();
        QVERIFY2(m_gateway->start(), qPrintable(m_gateway->errorString()));
    }

    void cleanupTestCase() { m_gateway.reset(); }

    void phoneBrowsesTheSite() {
        ServedSite site;
        QVERIFY2(site.start({QStringLiteral("ShowWelcomeGraphic=Y"),
                             QStringLiteral("ShowWelcomeGraphicFilename=") + site.picturePath,
                             QStringLiteral("WelcomeMessage=Y"),
                             QStringLiteral("WelcomeMessageText=Hello <phones> & friends"),
                             QStringLiteral("EnableGraffiti=Y")}),
                 site.program.StandardError().constData());
        WspClient phone(m_gateway->address());

        QByteArray welcome;
        QByteArray page;
        STEP(fetchDeck(
            phone, site, "/",
            {"Hello &lt;phones&gt; &amp; friends", "alt=\"Welcome!\"", "Powered by Pocketlane"},
            welcome));
        STEP(fetchDeck(phone, site, linkTitled(welcome, "Enter"), {"title=\"Main Menu\""}, page));
        STEP(fetchDeck(phone, site, linkTitled(page, "Graffiti"),
                       {"No one has added Graffiti, be the first!", "=============="}, page));
        STEP(fetchDeck(phone, site, linkTitled(page, "Add Graffiti"),
                       {"Enter your Graffiti below", "name=\"G\""}, page));

        // The phone puts the typed text, URL-encoded, in place of $(G).
        QByteArray submit = linkTitled(page, "Submit");
        const QByteArray variable = "&G=$(G:escape)";
        QVERIFY2(submit.endsWith(variable), submit.constData());
        const QByteArray message = "<b>\"Hi\"</b> costs $5 > 4";
        submit.chop(variable.size() - 3);
        submit += QUrl::toPercentEncoding(QString::fromLatin1(message));
        // Text, not markup.
        STEP(fetchDeck(phone, site, submit, {"&lt;b&gt;&quot;Hi&quot;&lt;/b&gt; costs $5 &gt; 4"},
                       page));
        QVERIFY(!page.contains("No one has added Graffiti"));

        STEP(fetchPicture(phone, site, imageSource(welcome)));
        // The same gateway goes on serving decks after the picture.
        STEP(fetchDeck(phone, site, linkTitled(page, "[^] Main Menu"), {"title=\"Main Menu\""},
                       page));
        QCOMPARE(site.program.Stop(), 0);
        QVERIFY(site.program.StandardError().contains("User added graffiti:" + message));
    }

    // A phone logs in with the site password and follows keyed links (their
    // & escaped in the compiled deck), the welcome picture's with its own
    // key; a ring tone downloaded from a shared folder; names and board texts
    // beyond ASCII reach the phone as typed, text a phone sends in
    // ISO-8859-1 included; a phone that shows only WBMP sees a JPEG's inline
    // picture as a WBMP within its screen.
    void phoneDownloadsAndReadsEveryLanguage() {
        ServedSite site;
        const QDir music(site.dir.filePath(QStringLiteral("music")));
        QVERIFY(music.mkpath(QStringLiteral("RING tones")));
        QByteArray tune("MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60MTrk", 18);
        tune += QByteArray(3000, '\x90');
        for (const auto& [name, bytes] : {std::pair{QStringLiteral("RING tones/tune.MID"), tune},
                                          {QStringLiteral("Café Olé.imy"), QByteArray("x")},
                                          {QStringLiteral("Photo.jpg"), JpegOf(QSize(640, 480))}}) {
            QFile file(music.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
        QVERIFY2(
            site.start({QStringLiteral("ShowWelcomeGraphic=Y"),
                        QStringLiteral("ShowWelcomeGraphicFilename=") + site.picturePath,
                        QStringLiteral("WelcomeMessage=N"), QStringLiteral("EnablePassword=Y"),
                        QStringLiteral("Password=Open Sesame"), QStringLiteral("EnableGraffiti=Y"),
                        QStringLiteral("EnableSharedFolders=Y")},
                       {music.path()}),
            site.program.StandardError().constData());
        // The gateway answers 406 for a type the phone does not list as accepted.
        WspClient phone(m_gateway->address());
        phone.setAcceptedTypes({"application/vnd.wap.wmlc", "audio/midi", "image/vnd.wap.wbmp"});

        QByteArray menu;
        QByteArray page;
        STEP(fetchDeck(phone, site, "/", {"Please enter Password:", "name=\"P\""}, page));
        QVERIFY2(imageSource(page).contains("&K="), page.constData());
        STEP(fetchPicture(phone, site, imageSource(page)));
        STEP(fetchDeck(phone, site, "/?P=Open%20Sesame", {"title=\"Main Menu\""}, menu));
        STEP(fetchDeck(phone, site, linkTitled(menu, "Graffiti"),
                       {"No one has added Graffiti, be the first!"}, page));
        STEP(fetchDeck(phone, site, linkTitled(page, "Add Graffiti"), {"name=\"G\""}, page));
        QByteArray submit = linkTitled(page, "Submit");
        submit.chop(QByteArray("$(G:escape)").size());
        for (const QString& text :
             {u"Grüße aus Köln"_s, u"Ça coûte 5 € à Noël"_s, u"こんにちは世界"_s})
            STEP(fetchDeck(phone, site, submit + QUrl::toPercentEncoding(text), {text.toUtf8()},
                           page));
        STEP(fetchDeck(phone, site, submit + "caf%E9 cr%E8me", {"café crème"}, page));

        QByteArray share;
        STEP(fetchDeck(phone, site, linkTitled(menu, "Shared Folders"), {"Root Level Pg:1"}, page));
        STEP(fetchDeck(phone, site, linkTitled(page, QFile::encodeName(music.path())),
                       {"Café Olé.imy", "[D] Ring Tones"}, share));
        STEP(fetchDeck(phone, site, linkTitled(share, "[D] Ring Tones"), {"Tune.mid"}, page));
        STEP(fetchDeck(phone, site, linkTitled(page, "Tune.mid"),
                       {"Filename:", "Tune.mid", "3,018 bytes", "Download File"}, page));
        STEP(fetchFile(phone, site, linkTitled(page, "Download File"), "audio/midi", tune));
        STEP(fetchDeck(phone, site, linkTitled(share, "Photo.jpg"), {"Photo.jpg"}, page));
        const WspReply picture = phone.get(site.url(imageSource(page)));
        QVERIFY2(picture.status == 0x20 && picture.contentType == "image/vnd.wap.wbmp",
                 qPrintable(failureReport(picture, site)));
        const QSize size = WbmpCodec::ReadSize(picture.body).value_or(QSize());
        QVERIFY(!size.isEmpty() && size.width() <= 128 && size.height() <= 160);
        QCOMPARE(site.program.Stop(), 0);
    }

    // Every socket of the gateway's boxes stays on loopback.
    void boxesListenAndTalkOnLoopbackOnly() {
        for (const qint64 pid : m_gateway->pids()) {
            const QList<TestSupport::SocketEntry> sockets = TestSupport::socketsOfProcess(pid);
            QVERIFY2(!sockets.isEmpty(), "no sockets found for a box");
            for (const TestSupport::SocketEntry& socket : sockets) {
                const QString where =
                    QStringLiteral("%1 %2:%3 -> %4:%5")
                        .arg(QString::fromLatin1(socket.protocol), socket.localAddress.toString())
                        .arg(socket.localPort)
                        .arg(socket.remoteAddress.toString())
                        .arg(socket.remotePort);
                QVERIFY2(socket.localAddress.isLoopback(), qPrintable(where));
                QVERIFY2(socket.remoteAddress.isLoopback() || socket.remoteAddress.isNull() ||
                             socket.remoteAddress == QHostAddress::AnyIPv4 ||
                             socket.remoteAddress == QHostAddress::AnyIPv6,
                         qPrintable(where));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestGatewaySite)
#include "tst_gatewaysite.moc"
