#include "site/FileSystem.h"
#include "support/SiteHarness.h"
#include "support/WmlValidation.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace {

// The deck with every link index replaced by "#", so that pages compare
// whatever records earlier pages made.
QByteArray Unnumbered(const QByteArray& deck) {
    return QString::fromUtf8(deck)
        .replace(QRegularExpression(QStringLiteral("S=\\d+")), QStringLiteral("S=#"))
        .toUtf8();
}

QByteArray Anchor(const QByteArray& title) {
    return "<a href=\"/?S=#\">" + title + "</a>";
}

QByteArray Entry(const QByteArray& title) {
    return Anchor(title) + "<br/>";
}

const QByteArray MenuLinks = "<br/>" + Anchor("[-] Root Level") + "<br/>" + Anchor("[^] Main Menu");

// The titles of a deck's links in order, without the site's own navigation.
QList<QByteArray> ListedTitles(const QByteArray& deck) {
    static const QRegularExpression anchor(QStringLiteral("<a href=\"[^\"]*\">([^<]*)</a>"));
    static const QRegularExpression navigation(
        QStringLiteral("^(\\[&lt;\\]|\\[-\\]|\\[\\^\\]|&lt;&lt;Back|Next&gt;&gt;|Back to Page|"
                       "Forward to Page)"));
    QList<QByteArray> titles;
    for (const auto& match : anchor.globalMatch(QString::fromUtf8(deck))) {
        if (!navigation.match(match.captured(1)).hasMatch())
            titles << match.captured(1).toUtf8();
    }
    return titles;
}

// A 200-character folder name, proper-cased.
QByteArray Level(int i) {
    return char('A' + i) + QByteArray(199, char('a' + i));
}

QSet<QByteArray> ListedSet(const QByteArray& deck) {
    const QList<QByteArray> titles = ListedTitles(deck);
    return QSet<QByteArray>(titles.begin(), titles.end());
}

// Writes a file by its name's bytes, which need not be UTF-8.
bool WriteFile(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written =
        fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size());
    return fd >= 0 && ::close(fd) == 0 && written;
}

bool MakeFolder(const QByteArray& path) {
    return QDir().mkpath(QString::fromUtf8(path));
}

// A site with the Shared Folders module on and folders of its own.
struct FolderSite {
    SiteHarness h;
    QTemporaryDir tmp;
    QByteArray base = tmp.path().toUtf8();

    FolderSite() { h.settings.setSwitch(Settings::EnableSharedFolders, true); }

    // Creates the folder and shares it.
    QByteArray share(const QByteArray& name) {
        const QByteArray path = base + '/' + name;
        MakeFolder(path);
        h.folders.addFolder(path, [] { return true; });
        return path;
    }
    QByteArray rootLevel() {
        return h.deck(SiteHarness::linkTitled(h.deck("/"), "Shared Folders"));
    }
    // The page behind the link titled `title` (escaped as in the deck).
    QByteArray follow(const QByteArray& deck, const QByteArray& title) {
        const QByteArray link = SiteHarness::linkTitled(deck, title);
        return link.isEmpty() ? QByteArray() : h.deck(link);
    }
    // The whole answer to a download of `size` bytes of content.
    QByteArray download(const QByteArray& link, qsizetype size) {
        LoopbackClient client(h.server.Port());
        client.Send(LoopbackClient::Request(link));
        (void)QTest::qWaitFor(
            [&] {
                const QByteArray& received = client.Received();
                const qsizetype headersEnd = received.indexOf("\r\n\r\n");
                return headersEnd >= 0 && received.size() >= headersEnd + 4 + size;
            },
            LoopbackClient::DefaultTimeoutMs);
        QTest::qWait(20); // nothing more may follow
        return client.Received();
    }
    // Whether a download request stays unanswered.
    // The file is not sent: the visitor is told it is no longer there.
    bool refused(const QByteArray& link) {
        return h.deck(link).contains("This file is no longer available.");
    }
    QByteArray fileLinkOf(const QByteArray& details) {
        static const QRegularExpression link(QStringLiteral("(?:src|href)=\"(/\\?F=[^\"]*)\""));
        return link.match(QString::fromUtf8(details)).captured(1).toUtf8().replace("&amp;", "&");
    }
};

QByteArray DownloadHeaders(const QByteArray& type, qint64 size) {
    return "HTTP/1.1 200 OK\r\nContent-type: " + type +
           "\r\nContent-length: " + QByteArray::number(size) + "\r\n\r\n";
}

} // namespace

class tst_SharedFolderPages : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rootLevelListsTenFoldersAPage() {
        FolderSite site;
        QVERIFY(site.h.open());
        const QByteArray none = site.rootLevel();
        QCOMPARE(none, Card("Folders", "Folders",
                            "There are no files currently being shared at this Pocketlane "
                            "site.<br/><br/><a href=\"/?S=2\">[^] Main Menu</a>"));
        QVERIFY_VALID_WML(none);

        QList<QByteArray> shared;
        for (int i = 1; i <= 10; ++i)
            shared << site.share("Folder " + QByteArray::number(100 + i));
        const QByteArray ten = site.rootLevel();
        QCOMPARE(ListedTitles(ten), shared);
        QVERIFY(!ten.contains("Next"));

        shared << site.share("Folder 111");
        const QByteArray first = site.rootLevel();
        QVERIFY_VALID_WML(first);
        QCOMPARE(ListedTitles(first), shared.mid(0, 10));
        const QByteArray second = site.follow(first, "Next&gt;&gt;");
        QCOMPARE(Unnumbered(second),
                 Card("Folders", "Folders",
                      "<b><u>Root Level Pg:2</u></b><br/>" + Entry(shared.at(10)) + "<br/>" +
                          Anchor("&lt;&lt;Back") + "<br/>" + Anchor("[^] Main Menu")));
        QVERIFY_VALID_WML(second);
        QCOMPARE(Unnumbered(site.follow(second, "&lt;&lt;Back")), Unnumbered(first));
        QVERIFY(
            site.h.temp.lines(LogDetail).contains(QStringLiteral("Main folder menu sent to user")));
    }

    void rootLevelPagesCutByLengthLoseNoFolder() {
        FolderSite site;
        QVERIFY(site.h.open());
        // Paths of 125 characters: the deck passes 1200 characters with the
        // 7th entry of a page.
        QList<QByteArray> shared;
        for (int i = 1; i <= 12; ++i) {
            const QByteArray name = "Folder " + QByteArray::number(100 + i) + ' ';
            shared << site.share(name.leftJustified(125 - site.base.size() - 1, 'x'));
        }
        QCOMPARE(shared.first().size(), 125);
        const QByteArray first = site.rootLevel();
        QCOMPARE(ListedTitles(first), shared.mid(0, 7));
        const QByteArray second = site.follow(first, "Next&gt;&gt;");
        QVERIFY_VALID_WML(second);
        QCOMPARE(ListedTitles(second), shared.mid(7));
        QVERIFY(!second.contains("Next"));
        QCOMPARE(Unnumbered(site.follow(second, "&lt;&lt;Back")), Unnumbered(first));
    }

    void folderPagesCountFoldersAndFilesTogether() {
        FolderSite site;
        QVERIFY(site.h.open());
        const QByteArray fifteen = site.share("Fifteen");
        for (int i = 1; i <= 15; ++i)
            QVERIFY(MakeFolder(fifteen + "/Sub " + QByteArray::number(100 + i)));
        const QByteArray full = site.follow(site.rootLevel(), fifteen);
        QCOMPARE(ListedTitles(full).size(), 15);
        QVERIFY(ListedTitles(full).first().startsWith("[D] Sub 1"));
        const QByteArray empty = site.follow(full, "Forward to Page 2");
        QCOMPARE(Unnumbered(empty), Card("Files", "Files",
                                         Entry("[&lt;]" + fifteen + '/') + "<br/>" +
                                             Anchor("Back to Page 1") + MenuLinks));
        QVERIFY_VALID_WML(empty);

        const QByteArray mixed = site.share("Mixed");
        for (int i = 1; i <= 3; ++i)
            QVERIFY(MakeFolder(mixed + "/Sub " + QByteArray::number(i)));
        for (int i = 1; i <= 20; ++i)
            QVERIFY(WriteFile(mixed + "/File " + QByteArray::number(100 + i) + ".txt", "x"));
        QList<QByteArray> folders, files;
        for (const auto& entry : FileSystem::ListFolder(mixed, {}))
            (entry.isDirectory ? folders : files) << entry.name;
        const QByteArray page1 = site.follow(site.rootLevel(), mixed);
        QVERIFY_VALID_WML(page1);
        QList<QByteArray> expected;
        for (const QByteArray& name : folders)
            expected << "[D] " + name;
        expected << files.mid(0, 12);
        QCOMPARE(ListedTitles(page1), expected);
        QVERIFY(!page1.contains("Back to Page"));
        const QByteArray page2 = site.follow(page1, "Forward to Page 2");
        QByteArray listed;
        for (const QByteArray& name : files.mid(12))
            listed += Entry(name);
        QCOMPARE(Unnumbered(page2), Card("Files", "Files",
                                         Entry("[&lt;]" + mixed + '/') + listed + "<br/>" +
                                             Anchor("Back to Page 1") + MenuLinks));
        QCOMPARE(Unnumbered(site.follow(page2, "Back to Page 1")), Unnumbered(page1));
        QVERIFY(site.h.temp.lines(LogDetail).contains(
            QStringLiteral("Page 2 of folder %1/ sent to user").arg(QString::fromUtf8(mixed))));
    }

    void folderPagesCutByLengthLoseNoEntry() {
        FolderSite site;
        QVERIFY(site.h.open());
        // A deep folder: its up link alone takes most of the 1200 characters.
        QByteArray deep = site.share("Deep");
        for (int i = 0; i < 4; ++i)
            deep += '/' + Level(i);
        QVERIFY(MakeFolder(deep));
        QList<QByteArray> names;
        for (int i = 1; i <= 15; ++i) {
            // 25 two-byte characters: the shown 20 must not split one.
            names << QByteArray::number(100 + i) + QByteArray("\xc3\xa4").repeated(22) + ".gif";
            QVERIFY(WriteFile(deep + '/' + names.last(), "GIF"));
        }
        const QByteArray enter = site.follow(site.rootLevel(), site.base + "/Deep");
        QByteArray page = enter;
        for (int i = 0; i < 4; ++i)
            page = site.h.deck(SiteHarness::linkTitled(page, "[D] " + Level(i).left(20)));
        QList<QByteArray> seen, pages;
        for (int p = 1; p < 20; ++p) {
            QVERIFY_VALID_WML(page);
            pages << Unnumbered(page);
            seen << ListedTitles(page);
            const QByteArray next =
                site.follow(page, "Forward to Page " + QByteArray::number(p + 1));
            if (next.isEmpty())
                break;
            QVERIFY2(!ListedTitles(page).isEmpty(), "a page without an entry leads on");
            page = next;
        }
        QVERIFY(pages.size() > 2);
        QList<QByteArray> expected;
        for (const QByteArray& name : names)
            expected << name.left(3 + 17 * 2);
        std::sort(seen.begin(), seen.end());
        QCOMPARE(seen, expected);
        // Going back shows each page as it was.
        for (qsizetype p = pages.size() - 1; p > 0; --p) {
            page = site.follow(page, "Back to Page " + QByteArray::number(p));
            QCOMPARE(Unnumbered(page), pages.at(p - 1));
        }
    }

    void upLinksLeadTowardsTheRootLevel() {
        FolderSite site;
        QVERIFY(site.h.open());
        const QByteArray music = site.share("Music");
        QVERIFY(MakeFolder(music + "/rock/heavy"));
        QVERIFY(MakeFolder(music + "/.hidden"));
        const QByteArray root = site.rootLevel();
        const QByteArray shared = site.follow(root, music);
        QCOMPARE(ListedSet(shared), QSet<QByteArray>({"[D] Rock", "[D] .hidden"}));
        QCOMPARE(Unnumbered(site.follow(shared, "[&lt;]" + music + '/')), Unnumbered(root));
        const QByteArray rock = site.follow(shared, "[D] Rock");
        QCOMPARE(Unnumbered(site.follow(rock, "[&lt;]" + music + "/Rock/")), Unnumbered(shared));
        const QByteArray heavy = site.follow(rock, "[D] Heavy");
        QVERIFY_VALID_WML(heavy);
        QCOMPARE(Unnumbered(site.follow(heavy, "[&lt;]" + music + "/Rock/Heavy/")),
                 Unnumbered(rock));
        QCOMPARE(Unnumbered(site.follow(heavy, "[-] Root Level")), Unnumbered(root));
    }

    void namesAreShownProperCasedAndCarriedAsStored() {
        FolderSite site;
        QVERIFY(site.h.open());
        const QByteArray share = site.share("Share");
        QVERIFY(MakeFolder(share + "/AUDIO files"));
        QVERIFY(WriteFile(share + "/AUDIO files/rock-n-roll.MID", "MThd"));
        QVERIFY(WriteFile(share + "/AUDIO files/a very long name for a tune.mid", "x"));
        QVERIFY(WriteFile(share + "/AUDIO files/Tom & Jerry $5.gif", "GIF"));
        QVERIFY(WriteFile(share + "/AUDIO files/bad \x01\xff<name>.wav", "RIFF"));
        const QByteArray audio =
            site.follow(site.follow(site.rootLevel(), share), "[D] Audio Files");
        QVERIFY_VALID_WML(audio);
        QCOMPARE(ListedSet(audio),
                 QSet<QByteArray>({"Rock-n-roll.mid", "A Very Long Name For",
                                   "Tom &amp; Jerry $$5.gif", "Bad ??&lt;name&gt;.wav"}));

        const QByteArray details = site.follow(audio, "Rock-n-roll.mid");
        QVERIFY_VALID_WML(details);
        QVERIFY(details.contains("<card id=\"Files\" title=\"Rock-n-roll.mid\">"));
        QVERIFY(details.contains("<b>Filename: </b>Rock-n-roll.mid<br/><b>Size: </b>4 bytes<br/>"));
        QCOMPARE(site.download(site.fileLinkOf(details), 4),
                 DownloadHeaders("audio/midi", 4) + "MThd");

        const QByteArray tom = site.follow(audio, "Tom &amp; Jerry $$5.gif");
        QVERIFY_VALID_WML(tom);
        QVERIFY(tom.contains("title=\"Tom &amp; Jerry $$5.gif\""));
        QVERIFY(tom.contains("alt=\"Tom &amp; Jerry $$5.gif\" align=\"top\"/>"));
        QCOMPARE(site.download(site.fileLinkOf(tom), 3), DownloadHeaders("image/gif", 3) + "GIF");

        const QByteArray bad = site.follow(audio, "Bad ??&lt;name&gt;.wav");
        QVERIFY_VALID_WML(bad);
        QCOMPARE(site.download(site.fileLinkOf(bad), 4),
                 DownloadHeaders("audio/x-wav", 4) + "RIFF");
        ::unlink((share + "/AUDIO files/bad \x01\xff<name>.wav").constData()); // Qt cannot name it
    }

    void nothingOutsideTheSharedFoldersIsServed() {
        FolderSite site;
        QVERIFY(site.h.open());
        const QByteArray outside = site.base + "/Outside";
        QVERIFY(MakeFolder(outside));
        QVERIFY(WriteFile(outside + "/Secret.gif", "SECRET"));
        const QByteArray share = site.share("Share");
        QVERIFY(MakeFolder(share + "/Inner"));
        QVERIFY(MakeFolder(share + "/Sub"));
        QVERIFY(WriteFile(share + "/Pic.gif", "GIF"));
        QVERIFY(::symlink((outside).constData(), (share + "/Away").constData()) == 0);
        QVERIFY(::symlink((outside + "/Secret.gif").constData(),
                          (share + "/Leak.gif").constData()) == 0);
        QVERIFY(::symlink((share + "/Inner").constData(), (share + "/Near").constData()) == 0);
        QVERIFY(::symlink((share + "/Nowhere").constData(), (share + "/Dangling").constData()) ==
                0);
        const QByteArray page = site.follow(site.rootLevel(), share);
        QCOMPARE(ListedSet(page),
                 QSet<QByteArray>({"[D] Inner", "[D] Sub", "[D] Near", "Pic.gif"}));

        // Entries that became links out of the share after they were listed.
        const QByteArray details = site.follow(page, "Pic.gif");
        const QByteArray fileLink = site.fileLinkOf(details);
        QVERIFY(QFile::remove(QString::fromUtf8(share + "/Pic.gif")));
        QVERIFY(QDir(QString::fromUtf8(share + "/Sub")).removeRecursively());
        QVERIFY(::symlink((outside + "/Secret.gif").constData(),
                          (share + "/Pic.gif").constData()) == 0);
        QVERIFY(::symlink(outside.constData(), (share + "/Sub").constData()) == 0);
        const QByteArray sub = site.follow(page, "[D] Sub");
        QCOMPARE(Unnumbered(sub),
                 Card("Files", "Files", Entry("[&lt;]" + share + "/Sub/") + MenuLinks));
        const QByteArray vanished = site.follow(page, "Pic.gif");
        QVERIFY(vanished.contains("<b>Size: </b> bytes<br/><b>Date: </b><br/>"));
        QVERIFY(site.refused(fileLink));
        QVERIFY(site.h.temp.lines(LogError).contains(
            QStringLiteral("Error occured sending file:The file is not in a shared folder.")));

        // A folder no longer shared is no longer served.
        const QByteArray inner = site.follow(page, "[D] Inner");
        QVERIFY(WriteFile(share + "/Inner/Tune.mid", "MThd"));
        const QByteArray tune = site.follow(site.follow(page, "[D] Inner"), "Tune.mid");
        QVERIFY(site.h.folders.removeAll());
        QCOMPARE(Unnumbered(site.follow(page, "[D] Inner")), Unnumbered(inner));
        QVERIFY(site.refused(site.fileLinkOf(tune)));
    }

    void detailsShowSizeDateAndTheWayToTheFile() {
        FolderSite site;
        QVERIFY(site.h.open());
        const QByteArray share = site.share("Files");
        const QByteArray big(1234567, 'b');
        QVERIFY(WriteFile(share + "/Big.wav", big));
        QVERIFY(WriteFile(share + "/Empty.mid", ""));
        QVERIFY(WriteFile(share + "/Gone.mid", "x"));
        const QByteArray page = site.follow(site.rootLevel(), share);

        const QByteArray details = site.follow(page, "Big.wav");
        QVERIFY_VALID_WML(details);
        const QByteArray date =
            FileSystem::FormatFileDate(FileSystem::GetFindData(share + "/Big.wav").creationTime);
        QCOMPARE(date.size(), 11);
        QCOMPARE(Unnumbered(details).replace(site.fileLinkOf(details), "FILE"),
                 Card("Files", "Big.wav",
                      Entry("[&lt;]" + share + '/') +
                          "<b>Filename: </b>Big.wav<br/><b>Size: </b>1,234,567 bytes<br/>"
                          "<b>Date: </b>" +
                          date + "<br/><a href=\"FILE\">Download File</a><br/>" +
                          Anchor("[^] Main Menu")));
        QCOMPARE(site.download(site.fileLinkOf(details), big.size()),
                 DownloadHeaders("audio/x-wav", big.size()) + big);
        QVERIFY(site.h.temp.lines(LogDetail).contains(
            QStringLiteral("Sending file: %1/Big.wav").arg(QString::fromUtf8(share))));
        QCOMPARE(Unnumbered(site.follow(details, "[&lt;]" + share + '/')), Unnumbered(page));

        const QByteArray empty = site.follow(page, "Empty.mid");
        QVERIFY(empty.contains("<b>Size: </b> bytes<br/>"));
        QCOMPARE(site.download(site.fileLinkOf(empty), 0), DownloadHeaders("audio/midi", 0));

        QVERIFY(QFile::remove(QString::fromUtf8(share + "/Gone.mid")));
        const QByteArray gone = site.follow(page, "Gone.mid");
        QVERIFY_VALID_WML(gone);
        QVERIFY(gone.contains("<b>Size: </b> bytes<br/><b>Date: </b><br/>"
                              "<a href=\"/?F="));
        QVERIFY(site.refused(site.fileLinkOf(gone)));
    }

    // Every type of the one table, found by a lower-case name; the extension
    // is what follows the first dot.
    void eachTypeIsShownAndSentAsItsKind_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("contentType"); // empty: not offered
        for (const FileSystem::SupportedType& type : FileSystem::SupportedTypes())
            QTest::newRow(type.extension)
                << "File." + QByteArray(type.extension).toLower() << QByteArray(type.contentType);
        QTest::newRow("no extension") << QByteArray("Readme") << QByteArray();
        QTest::newRow("two dots") << QByteArray("Song.live.mid") << QByteArray();
    }

    void eachTypeIsShownAndSentAsItsKind() {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, contentType);
        FolderSite site;
        QVERIFY(site.h.open());
        const QByteArray share = site.share("Types.d");
        QVERIFY(WriteFile(share + '/' + name, "data"));
        const QByteArray details = site.follow(site.follow(site.rootLevel(), share), name);
        QVERIFY_VALID_WML(details);
        if (contentType.isEmpty()) {
            QVERIFY(details.contains("Unsupported file type.<br/>"));
            return;
        }
        const QByteArray link = site.fileLinkOf(details);
        const bool picture = contentType.startsWith("image/");
        QCOMPARE(details.contains("<img src=\"" + QByteArray(link).replace("&", "&amp;") +
                                  "\" alt=\"" + name + "\" align=\"top\"/>"),
                 picture);
        QCOMPARE(details.contains(">Download File</a>"), !picture);
        QCOMPARE(site.download(link, 4), DownloadHeaders(contentType, 4) + "data");
    }

    void largeFileStreamsWhileOthersAreServed() {
        FolderSite site;
        QVERIFY(site.h.open());
        const QByteArray share = site.share("Large");
        const qint64 size = (qint64(5) << 30) + 123;
        {
            QFile sparse(QString::fromUtf8(share + "/Movie.jar"));
            QVERIFY(sparse.open(QIODevice::WriteOnly));
            QVERIFY(sparse.resize(size));
        }
        const QByteArray page = site.follow(site.rootLevel(), share);
        const QByteArray details = site.follow(page, "Movie.jar");
        QVERIFY(details.contains("<b>Size: </b>5,368,709,243 bytes<br/>"));

        // A client that reads only the first megabytes and leaves the rest.
        QTcpSocket slow;
        slow.setReadBufferSize(2 << 20);
        slow.connectToHost(QHostAddress::LocalHost, site.h.server.Port());
        QVERIFY(slow.waitForConnected(20000));
        slow.write(LoopbackClient::Request(site.fileLinkOf(details)));
        QVERIFY(QTest::qWaitFor([&] { return slow.bytesAvailable() >= (1 << 20); }, 20000));
        const QByteArray head = slow.read(1 << 20);
        QVERIFY(head.startsWith(DownloadHeaders("application/x-compressed", size)));
        QCOMPARE(head.mid(head.indexOf("\r\n\r\n") + 4, 16), QByteArray(16, '\0'));

        const QByteArray other = site.follow(page, "Movie.jar");
        QCOMPARE(other, details);
        QVERIFY(slow.state() == QAbstractSocket::ConnectedState);
        slow.abort();
        QVERIFY(site.h.deck("/").contains("Shared Folders"));
    }

    // A file written to while it is downloaded: the phone gets exactly the
    // announced length, so the next answer on the connection stays framed,
    // or, when the file shrank, a closed connection instead of a wait.
    void fileChangedDuringDownloadKeepsTheAnnouncedLength() {
        FolderSite site;
        QVERIFY(site.h.open());
        const QByteArray share = site.share("Changing");
        const qint64 size = qint64(64) << 20;
        QFile file(QString::fromUtf8(share + "/Tune.mid"));
        QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(size));
        const QByteArray page = site.follow(site.rootLevel(), share);
        const QByteArray link = site.fileLinkOf(site.follow(page, "Tune.mid"));

        for (const bool grows : {true, false}) {
            LoopbackClient client(site.h.server.Port());
            client.Socket().setReadBufferSize(256 << 10);
            client.Send(LoopbackClient::Request(link));
            QVERIFY(client.WaitForBytes(64 << 10));
            QVERIFY(file.resize(grows ? 2 * size : size / 2));
            client.Socket().setReadBufferSize(0);
            if (!grows) {
                QVERIFY(client.WaitClosed());
                QVERIFY(client.Received().size() < size);
                QVERIFY(file.resize(size));
                continue;
            }
            const QByteArray headers = DownloadHeaders("audio/midi", size);
            client.Send(LoopbackClient::Request("/favicon.ico"));
            QVERIFY(client.WaitForBytes(headers.size() + size + 32));
            QCOMPARE(client.Received().left(headers.size()), headers);
            QCOMPARE(client.Received().mid(headers.size() + size, 17),
                     QByteArray("HTTP/1.1 200 OK\r\n"));
            QVERIFY(file.resize(size));
        }
    }
};

QTEST_GUILESS_MAIN(tst_SharedFolderPages)
#include "tst_sharedfolderpages.moc"
