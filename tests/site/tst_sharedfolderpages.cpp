#include "site/ConfinedFolder.h"
#include "site/FileTypes.h"
#include "site/WbmpCodec.h"
#include "site/sharedfolders/FolderListingCache.h"
#include "support/SiteHarness.h"
#include "support/TestPictures.h"
#include "support/WmlValidation.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QImage>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <optional>
#include <thread>

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
    static const QRegularExpression entry(
        QStringLiteral("<a href=\"[^\"]*\">(?!\\[&lt;\\]|\\[-\\]|\\[\\^\\]|&lt;&lt;Back|"
                       "Next&gt;&gt;|Back to Page|Forward to Page)([^<]*)</a>"));
    QList<QByteArray> titles;
    for (const auto& match : entry.globalMatch(QString::fromUtf8(deck)))
        titles << match.captured(1).toUtf8();
    return titles;
}

QByteArray DownloadHeaders(const QByteArray& type, qint64 size) {
    return "HTTP/1.1 200 OK\r\nContent-type: " + type +
           "\r\nContent-length: " + QByteArray::number(size) + "\r\nAccept-Ranges: bytes\r\n\r\n";
}

// A part of a download: the range as Content-Range writes it, and its bytes.
QByteArray PartOf(const QByteArray& type, const QByteArray& range, const QByteArray& bytes) {
    return "HTTP/1.1 206 Partial Content\r\nContent-type: " + type +
           "\r\nContent-length: " + QByteArray::number(bytes.size()) + "\r\nContent-Range: bytes " +
           range + "\r\nAccept-Ranges: bytes\r\n\r\n" + bytes;
}

QByteArray BodyOf(const QByteArray& answer) {
    return answer.mid(answer.indexOf("\r\n\r\n") + 4);
}

// This process's resident memory.
qint64 ResidentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    return statm.open(QIODevice::ReadOnly)
               ? statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE)
               : 0;
}

// Writes a file by its name's bytes, which need not be UTF-8, making its
// folders first; a path that ends in '/' is only a folder.
void Put(const QByteArray& path, const QByteArray& bytes = {}) {
    QVERIFY(QDir().mkpath(QString::fromUtf8(path.left(path.lastIndexOf('/')))));
    if (path.endsWith('/'))
        return;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    QVERIFY(::close(fd) == 0 && written);
}

void Link(const QByteArray& target, const QByteArray& path) {
    QVERIFY2(::symlink(target.constData(), path.constData()) == 0, path.constData());
}

// A site with the Shared Folders module on and folders of its own.
struct FolderSite {
    SiteHarness h;
    QByteArray base = h.temp.dir.path().toUtf8();

    FolderSite() { h.settings.setSwitch(Settings::EnableSharedFolders, true); }

    // Creates the folder with its entries (name below it, content) and shares it.
    QByteArray share(const QByteArray& name,
                     std::initializer_list<std::pair<QByteArray, QByteArray>> entries = {}) {
        QByteArray path = base + '/' + name;
        Put(path + '/');
        for (const auto& [entry, bytes] : entries)
            Put(path + '/' + entry, bytes);
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
    QByteArray folderPage(const QByteArray& share) { return follow(rootLevel(), share); }
    // The whole answer to a file request, from a phone that sends `accept` (no Accept header
    // when empty): up to the connection's end, or, on a connection kept open, up to the answer
    // to a request sent behind it once the first looked complete by its Content-length, so that
    // bytes following the first would show.
    QByteArray file(const QByteArray& path, const QByteArray& accept = {}) {
        return answerTo("GET " + path + " HTTP/1.1\r\n" +
                        (accept.isEmpty() ? QByteArray() : "Accept: " + accept + "\r\n") + "\r\n");
    }
    QByteArray answerTo(const QByteArray& request) {
        LoopbackClient client(h.server.Port());
        client.Send(request);
        (void)QTest::qWaitFor(
            [&] {
                const QByteArray& got = client.Received();
                const qsizetype end = got.indexOf("\r\n\r\n"), length = got.indexOf("length: ");
                const qsizetype lineEnd = got.indexOf("\r\n", length);
                return !client.IsConnected() ||
                       (end > length && length > 0 &&
                        got.size() >=
                            end + 4 + got.mid(length + 8, lineEnd - length - 8).toLongLong());
            },
            LoopbackClient::DefaultTimeoutMs);
        if (!client.IsConnected())
            return client.Received();
        const qsizetype first = client.Received().size();
        client.Send("?\r\n\r\n"); // answered 400 by the server, never by the site
        (void)client.WaitClosed();
        const QByteArray& got = client.Received();
        const qsizetype next = got.indexOf("HTTP/1.1 ", first);
        return next < 0 ? got : got.left(next);
    }
    // Walks a folder's pages from the first, forward to the last and back:
    // every page valid, only the last without a way forward, none empty,
    // each the same when going back. What the pages list goes to seen.
    void walk(QByteArray page, QList<QByteArray>& seen, qsizetype& count) {
        QList<QByteArray> pages;
        QByteArray last;
        for (int p = 2; !page.isEmpty() && p < 100; ++p) {
            QVERIFY_VALID_WML(page);
            QVERIFY2(!ListedTitles(page).isEmpty(), "an empty page");
            pages << Unnumbered(page);
            seen << ListedTitles(page);
            last = std::exchange(page, follow(page, "Forward to Page " + QByteArray::number(p)));
        }
        count = pages.size();
        for (qsizetype p = count - 1; p > 0; --p) {
            last = follow(last, "Back to Page " + QByteArray::number(p));
            QCOMPARE(Unnumbered(last), pages.at(p - 1));
        }
    }
    // The file is not sent: the visitor is told it is no longer there.
    bool refused(const QByteArray& link) {
        return h.deck(link).contains("This file is no longer available.");
    }
    QByteArray fileLinkOf(const QByteArray& details) {
        static const QRegularExpression link(QStringLiteral("(?:src|href)=\"(/\\?F=[^\"]*)\""));
        return link.match(QString::fromUtf8(details)).captured(1).toUtf8().replace("&amp;", "&");
    }
};

} // namespace

class tst_SharedFolderPages : public QObject {
    Q_OBJECT
    std::optional<FolderSite> site;

private Q_SLOTS:
    void init() { QVERIFY(site.emplace().h.open()); }

    // Ten folders a page, fewer when their paths are long: the deck passes
    // 1200 characters with the 7th path of 125.
    void rootLevelPagesLoseNoFolder() {
        QCOMPARE(site->rootLevel(),
                 Card("Folders", "Folders",
                      "There are no files currently being shared at this Pocketlane "
                      "site.<br/><br/><a href=\"/?S=2\">[^] Main Menu</a>"));
        QVERIFY(site->h.temp.lines(LogDetail).contains(
            QStringLiteral("Main folder menu sent to user")));
        for (const auto& [pathLength, count, onFirstPage] :
             {std::tuple{0, 10, 10}, {0, 11, 10}, {125, 12, 7}}) { // pathLength 0: short names
            site->h.folders.removeAll();
            QList<QByteArray> shared;
            for (int i = 1; i <= count; ++i) {
                const QByteArray name = "Folder " + QByteArray::number(100 + i);
                shared << site->share(
                    pathLength ? (name + ' ').leftJustified(pathLength - site->base.size() - 1, 'x')
                               : name);
            }
            const QByteArray first = site->rootLevel();
            QVERIFY_VALID_WML(first);
            QCOMPARE(ListedTitles(first), shared.mid(0, onFirstPage));
            QCOMPARE(first.contains("Next"), count > onFirstPage);
            if (count == onFirstPage)
                continue;
            const QByteArray second = site->follow(first, "Next&gt;&gt;");
            QVERIFY_VALID_WML(second);
            QCOMPARE(ListedTitles(second), shared.mid(onFirstPage));
            if (count == 11)
                QCOMPARE(Unnumbered(second),
                         Card("Folders", "Folders",
                              "<b><u>Root Level Pg:2</u></b><br/>" + Entry(shared.at(10)) +
                                  "<br/>" + Anchor("&lt;&lt;Back") + "<br/>" +
                                  Anchor("[^] Main Menu")));
            QVERIFY(!second.contains("Next"));
            QCOMPARE(Unnumbered(site->follow(second, "&lt;&lt;Back")), Unnumbered(first));
        }
    }

    // Sub folders first, then files, by name regardless of letter case,
    // fifteen a page counted together, fewer when the deck grows too long; a
    // page that ends at the last entry leads to no empty page.
    void folderPagesLoseNoEntry() {
        const QByteArray mixed =
            site->share("Mixed", {{"c SUB/", {}}, {"A sub/", {}}, {"b sub/", {}}});
        QList<QByteArray> expected = {"[D] A Sub", "[D] B Sub", "[D] C Sub"}, seen;
        QByteArray listed;
        for (int i = 1; i <= 27; ++i) {
            const QByteArray number = QByteArray::number(100 + i);
            Put(mixed + (i % 2 ? "/file " : "/FILE ") + number + ".MID", "x");
            expected << "File " + number + ".mid";
            listed += i > 12 ? Entry(expected.last()) : QByteArray();
        }
        const QByteArray page1 = site->folderPage(mixed);
        qsizetype pages = 0;
        site->walk(page1, seen, pages);
        QCOMPARE(pages, 2);
        QCOMPARE(seen, expected);
        QCOMPARE(ListedTitles(page1), expected.mid(0, 15));
        QCOMPARE(Unnumbered(site->follow(page1, "Forward to Page 2")),
                 Card("Files", "Files",
                      Entry("[&lt;]" + mixed + '/') + listed + "<br/>" + Anchor("Back to Page 1") +
                          MenuLinks));
        QVERIFY(site->h.temp.lines(LogDetail).contains(
            QStringLiteral("Page 2 of folder %1/ sent to user").arg(QString::fromUtf8(mixed))));

        // A deep folder: its up link alone takes most of the 1200 characters.
        // Four levels of 200-character folder names, proper-cased.
        QByteArray deep = site->share("Deep");
        QList<QByteArray> levels;
        for (int i = 0; i < 4; ++i)
            deep += '/' + levels.emplace_back(char('A' + i) + QByteArray(199, char('a' + i)));
        expected.clear();
        seen.clear();
        for (int i = 1; i <= 15; ++i) {
            // 25 two-byte characters: the shown 20 must not split one.
            const QByteArray name =
                QByteArray::number(100 + i) + QByteArray("\xc3\xa4").repeated(22) + ".gif";
            Put(deep + '/' + name, "GIF");
            expected << name.left(3 + 17 * 2);
        }
        QByteArray page = site->folderPage(site->base + "/Deep");
        for (const QByteArray& level : levels)
            page = site->follow(page, "[D] " + level.left(20));
        site->walk(page, seen, pages);
        QVERIFY(pages > 2);
        QCOMPARE(seen, expected);
    }

    // A folder not listed before is read off the event loop: several
    // visitors asking for it at once all get its page, and one who leaves
    // before it is ready does no harm. A listing is then kept between pages,
    // and a change to the folder shows on the next page all the same.
    void folderListingsAreReadOffTheLoopAndKeptWhileUnchanged() {
        const QByteArray share = site->share("Many");
        QList<QByteArray> first;
        for (int i = 0; i < 3000; ++i) {
            const QByteArray name = "Tone " + QByteArray::number(10000 + i) + ".mid";
            Put(share + '/' + name);
            if (i < 15)
                first << name;
        }
        const QByteArray link = SiteHarness::linkTitled(site->rootLevel(), share);
        std::deque<LoopbackClient> clients;
        for (int i = 0; i < 6; ++i)
            clients.emplace_back(site->h.server.Port()).Send(LoopbackClient::Request(link));
        clients.front().Socket().abort();
        QByteArray expected;
        for (size_t i = 1; i < clients.size(); ++i) {
            QVERIFY(clients[i].WaitClosed());
            const QByteArray page = DeckOf(clients[i].Received());
            QCOMPARE(ListedTitles(page), first);
            QVERIFY(page.contains("Forward to Page 2"));
            if (expected.isEmpty())
                expected = Unnumbered(page);
            QCOMPARE(Unnumbered(page), expected);
        }
        // Only a folder that has not changed for a while is listed from
        // memory (a change within the file system's time granularity would
        // go unseen): the clock passes the folder's last change by that much.
        struct stat folder {};
        QVERIFY(::stat(share.constData(), &folder) == 0);
        const qint64 lastChange =
            std::max(folder.st_mtim.tv_sec * 1'000'000'000LL + folder.st_mtim.tv_nsec,
                     folder.st_ctim.tv_sec * 1'000'000'000LL + folder.st_ctim.tv_nsec);
        QVERIFY(QTest::qWaitFor(
            [&] { return WallClockNs() - lastChange > FolderListingCache::StampGranularityNs; },
            10000));
        const auto listed = [&] { return ListedTitles(site->h.deck(link)); };
        QCOMPARE(listed(), first);
        QCOMPARE(listed(), first);
        Put(share + "/A.mid", "x");
        QCOMPARE(listed(), QList<QByteArray>{"A.mid"} + first.mid(0, 14));
        QVERIFY(::rename((share + "/Tone 10000.mid").constData(), (share + "/Z.mid").constData()) ==
                0);
        QVERIFY(::unlink((share + "/A.mid").constData()) == 0);
        QCOMPARE(listed(), first.mid(1) + QList<QByteArray>{"Tone 10015.mid"});
    }

    // Names that are not UTF-8 show read as ISO-8859-1 and lead to the file
    // by their exact bytes.
    void namesAreShownProperCasedAndCarriedAsStored() {
        // clang-format off
        const QByteArray share = site->share("Share", {
            {".hidden/", {}}, {"AUDIO files/deep/", {}}, {"AUDIO files/rock-n-roll.MID", "MThd"},
            {"AUDIO files/a very long name for a tune.mid", "x"}, {"AUDIO files/Tom & Jerry $5.gif", "GIF"},
            {"AUDIO files/bad \x01\xff<name>.wav", "RIFF"}});
        // clang-format on
        // Up links lead back level by level; the root level link at once.
        const QByteArray root = site->rootLevel();
        const QByteArray shared = site->follow(root, share);
        QCOMPARE(ListedTitles(shared), QList<QByteArray>({"[D] .hidden", "[D] Audio Files"}));
        QCOMPARE(Unnumbered(site->follow(shared, "[&lt;]" + share + '/')), Unnumbered(root));
        const QByteArray audio = site->follow(shared, "[D] Audio Files");
        QCOMPARE(Unnumbered(site->follow(audio, "[&lt;]" + share + "/Audio Files/")),
                 Unnumbered(shared));
        const QByteArray deep = site->follow(audio, "[D] Deep");
        QCOMPARE(Unnumbered(site->follow(deep, "[&lt;]" + share + "/Audio Files/Deep/")),
                 Unnumbered(audio));
        QCOMPARE(Unnumbered(site->follow(deep, "[-] Root Level")), Unnumbered(root));
        QVERIFY_VALID_WML(audio);
        QCOMPARE(
            ListedTitles(audio),
            QList<QByteArray>({"[D] Deep", "A Very Long Name For", "Bad ?\xc3\xbf&lt;name&gt;.wav",
                               "Rock-n-roll.mid", "Tom &amp; Jerry $$5.gif"}));
        // A name shown leads to its own file, as stored.
        const QByteArray details = site->follow(audio, "Bad ?\xc3\xbf&lt;name&gt;.wav");
        QVERIFY_VALID_WML(details);
        QVERIFY(details.contains("<card id=\"Files\" title=\"Bad ?\xc3\xbf&lt;name&gt;.wav\">"));
        QCOMPARE(site->file(site->fileLinkOf(details)), DownloadHeaders("audio/x-wav", 4) + "RIFF");
        ::unlink((share + "/AUDIO files/bad \x01\xff<name>.wav").constData()); // Qt cannot name it
    }

    // The attack on the confinement: while a thread swaps links inside the
    // share between something inside and something outside, not one byte,
    // size or name from outside comes out, and what is inside still does.
    void swappedLinksNeverLeadOutOfTheShare() {
        const QByteArray share =
            site->share("Raced", {{"Inside.mid", "INSIDE"}, {"Inner/Inner.mid", "x"}});
        const QByteArray swapFile = share + "/Swap.mid", swapFolder = share + "/SwapDir";
        Link("Inside.mid", swapFile);
        Link("Inner", swapFolder);
        const QByteArray page = site->folderPage(share);
        const QByteArray fileLink = site->fileLinkOf(site->follow(page, "Swap.mid"));
        const QByteArray folderLink = SiteHarness::linkTitled(page, "[D] Swapdir");
        const QByteArray detailsLink = SiteHarness::linkTitled(page, "Swap.mid");
        QVERIFY(!fileLink.isEmpty() && !folderLink.isEmpty() && !detailsLink.isEmpty());

        // Stops and joins when the test ends, passed or failed.
        std::jthread swapper([&](const std::stop_token& stop) {
            const QByteArray spare = share + "/.swap";
            // clang-format off
            const std::pair<QByteArray, const char*> targets[] = {
                {swapFile, "/etc/passwd"}, {swapFile, "Inside.mid"}, {swapFolder, "/etc"},
                {swapFolder, "Inner"}, {swapFile, "../../../../../../../../etc/passwd"},
                {swapFolder, "../../../../../../../../etc"}};
            // clang-format on
            for (size_t i = 0; !stop.stop_requested(); i = (i + 1) % std::size(targets)) {
                ::unlink(spare.constData());
                if (::symlink(targets[i].second, spare.constData()) == 0)
                    ::rename(spare.constData(), targets[i].first.constData());
            }
        });
        const QByteArray inside = DownloadHeaders("audio/midi", 6) + "INSIDE";
        int served = 0, listed = 0, sized = 0;
        for (int round = 0; round < 600; ++round) {
            // The file inside, or the deck that says it is no longer available.
            const QByteArray answer = site->file(fileLink);
            QVERIFY2(answer == inside || answer.contains("This file is no longer available."),
                     answer.left(300).constData());
            served += answer == inside;

            const QList<QByteArray> titles = ListedTitles(site->h.deck(folderLink));
            QVERIFY2(titles.isEmpty() || titles == QList<QByteArray>({"Inner.mid"}),
                     titles.join(' ').left(200).constData());
            listed += !titles.isEmpty();

            if (round % 3 == 0) {
                const QByteArray details = site->h.deck(detailsLink);
                const bool six = details.contains("<b>Size: </b>6 bytes<br/>");
                QVERIFY2(six || details.contains("<b>Size: </b> bytes<br/>"), details.constData());
                sized += six;
            }
        }
        QVERIFY(served > 0 && listed > 0 && sized > 0);
    }

    void nothingOutsideTheSharedFoldersIsServed() {
        const QByteArray outside = site->base + "/Outside";
        Put(outside + "/Secret.gif", "SECRET");
        const QByteArray share =
            site->share("Share", {{"Inner/", {}}, {"Sub/", {}}, {"Pic.gif", "GIF"}});
        Link(outside, share + "/Away");
        Link(outside + "/Secret.gif", share + "/Leak.gif");
        Link(share + "/Inner", share + "/Near");
        Link(share + "/Nowhere", share + "/Dangling");
        const QByteArray page = site->folderPage(share);
        QCOMPARE(ListedTitles(page),
                 QList<QByteArray>({"[D] Inner", "[D] Near", "[D] Sub", "Pic.gif"}));

        // Entries that became links out of the share after they were listed.
        const QByteArray fileLink = site->fileLinkOf(site->follow(page, "Pic.gif"));
        QVERIFY(QFile::remove(QString::fromUtf8(share + "/Pic.gif")));
        QVERIFY(QDir(QString::fromUtf8(share + "/Sub")).removeRecursively());
        Link(outside + "/Secret.gif", share + "/Pic.gif");
        Link(outside, share + "/Sub");
        QCOMPARE(Unnumbered(site->follow(page, "[D] Sub")),
                 Card("Files", "Files", Entry("[&lt;]" + share + "/Sub/") + MenuLinks));
        const QByteArray vanished = site->follow(page, "Pic.gif");
        QVERIFY(vanished.contains("<b>Size: </b> bytes<br/><b>Date: </b><br/>"));
        QVERIFY(site->refused(fileLink));
        QVERIFY(site->h.temp.lines(LogError).contains(
            QStringLiteral("Error occured sending file:The file is not in a shared folder.")));

        // A folder no longer shared is no longer served.
        const QByteArray inner = site->follow(page, "[D] Inner");
        Put(share + "/Inner/Tune.mid", "MThd");
        const QByteArray tune = site->follow(site->follow(page, "[D] Inner"), "Tune.mid");
        QVERIFY(site->h.folders.removeAll());
        QCOMPARE(Unnumbered(site->follow(page, "[D] Inner")), Unnumbered(inner));
        QVERIFY(site->refused(site->fileLinkOf(tune)));
    }

    void detailsShowSizeDateAndTheWayToTheFile() {
        const QByteArray big(1234567, 'b');
        const QByteArray share =
            site->share("Files", {{"Big.wav", big}, {"Empty.mid", {}}, {"Gone.mid", "x"}});
        const QByteArray page = site->folderPage(share);

        const QByteArray details = site->follow(page, "Big.wav");
        QVERIFY_VALID_WML(details);
        const QByteArray date =
            FileTypes::FormatFileDate(FileSystem::GetFindData(share + "/Big.wav").creationTime);
        QCOMPARE(date.size(), 11);
        QCOMPARE(Unnumbered(details).replace(site->fileLinkOf(details), "FILE"),
                 Card("Files", "Big.wav",
                      Entry("[&lt;]" + share + '/') +
                          "<b>Filename: </b>Big.wav<br/><b>Size: </b>1,234,567 bytes<br/>"
                          "<b>Date: </b>" +
                          date + "<br/><a href=\"FILE\">Download File</a><br/>" +
                          Anchor("[^] Main Menu")));
        QCOMPARE(site->file(site->fileLinkOf(details)),
                 DownloadHeaders("audio/x-wav", big.size()) + big);
        QVERIFY(site->h.temp.lines(LogDetail).contains(
            QStringLiteral("Sending file: %1/Big.wav").arg(QString::fromUtf8(share))));
        QCOMPARE(Unnumbered(site->follow(details, "[&lt;]" + share + '/')), Unnumbered(page));

        const QByteArray empty = site->follow(page, "Empty.mid");
        QVERIFY(empty.contains("<b>Size: </b> bytes<br/>"));
        QCOMPARE(site->file(site->fileLinkOf(empty)), DownloadHeaders("audio/midi", 0));
        // A file gone since it was listed: no size or date, and not sent.
        QVERIFY(QFile::remove(QString::fromUtf8(share + "/Gone.mid")));
        const QByteArray gone = site->follow(page, "Gone.mid");
        QVERIFY(gone.contains("<b>Size: </b> bytes<br/><b>Date: </b><br/><a href=\"/?F="));
        QVERIFY(site->refused(site->fileLinkOf(gone)));
    }

    // Every type of the one table, found by a lower-case name; the extension
    // is what follows the first dot of the file's name.
    void eachTypeIsShownAndSentAsItsKind() {
        // Name and content type; none: not offered.
        QList<std::pair<QByteArray, QByteArray>> files = {{"Readme", {}}, {"Song.live.mid", {}}};
        for (const FileTypes::SupportedType& type : FileTypes::SupportedTypes())
            files.append({"File." + QByteArray(type.extension).toLower(), type.contentType});
        const QByteArray share = site->share("Types.d");
        for (const auto& [name, contentType] : files)
            Put(share + '/' + name, "data");
        const QByteArray page = site->folderPage(share);
        for (const auto& [name, contentType] : files) {
            const QByteArray details = site->follow(page, name);
            QVERIFY_VALID_WML(details);
            QCOMPARE(details.contains("Unsupported file type.<br/>"), contentType.isEmpty());
            const QByteArray link = site->fileLinkOf(details);
            const bool picture = contentType.startsWith("image/");
            QCOMPARE(details.contains("<img src=\"" + QByteArray(link).replace("&", "&amp;") +
                                      "\" alt=\"" + name + "\" align=\"top\"/>"),
                     picture);
            QCOMPARE(details.contains(">Download File</a>"), !picture && !contentType.isEmpty());
            if (!contentType.isEmpty())
                QCOMPARE(site->file(link), DownloadHeaders(contentType, 4) + "data");
        }
    }

    // A phone that cannot show a picture as it is gets it converted: another
    // type, made to fit its screen; the file itself stays downloadable for a
    // phone that takes its type.
    void picturesAreShownAsThePhoneCan() {
        const QByteArray photo = JpegOf(QSize(4000, 3000));
        const QByteArray page = site->folderPage(site->share("Camera", {{"Photo.jpg", photo}}));
        const QByteArray detailsLink = SiteHarness::linkTitled(page, "Photo.jpg");
        const QByteArray wbmpOnly = "text/vnd.wap.wml; q=1.0, image/vnd.wap.wbmp; level=0";

        const QByteArray forWbmpPhone = DeckOf(site->file(detailsLink, wbmpOnly));
        QVERIFY(forWbmpPhone.contains("\" alt=\"Photo.jpg\" align=\"top\"/>"));
        QVERIFY(!forWbmpPhone.contains("Download File"));
        const QByteArray fitted = site->fileLinkOf(forWbmpPhone);
        // The request behind the conversion on its connection is answered after it.
        LoopbackClient phone(site->h.server.Port());
        phone.Send("GET " + fitted + " HTTP/1.1\r\nAccept: image/vnd.wap.wbmp; level=0\r\n\r\n" +
                   LoopbackClient::Request("/"));
        QVERIFY(phone.WaitClosed());
        const qsizetype menuAt = phone.Received().indexOf("HTTP/1.1 200 OK\r\nDate: ");
        QVERIFY(menuAt > 0);
        QVERIFY(DeckOf(phone.Received().mid(menuAt)).contains("<card id=\"MainMenu\""));
        const QByteArray wbmpAnswer = phone.Received().left(menuAt);
        const QByteArray wbmpHeaders = "HTTP/1.1 200 OK\r\nContent-type: image/vnd.wap.wbmp\r\n";
        QVERIFY2(wbmpAnswer.startsWith(wbmpHeaders), wbmpAnswer.left(100).constData());
        QCOMPARE(WbmpCodec::ReadSize(BodyOf(wbmpAnswer)).value_or(QSize()), QSize(120, 90));
        QVERIFY(!WbmpCodec::Decode(BodyOf(wbmpAnswer)).isNull());

        // A phone that takes JPEG sees it made small, and may download it whole.
        const QByteArray forJpegPhone =
            DeckOf(site->file(detailsLink, "text/vnd.wap.wml, image/jpeg"));
        QCOMPARE(site->fileLinkOf(forJpegPhone), fitted);
        const QByteArray original = SiteHarness::linkTitled(forJpegPhone, "Download File");
        QVERIFY(!original.isEmpty() && original != fitted);
        const QByteArray small = site->file(fitted, "image/jpeg");
        QVERIFY(small.startsWith("HTTP/1.1 200 OK\r\nContent-type: image/jpeg\r\n"));
        QCOMPARE(QImage::fromData(BodyOf(small), "jpeg").size(), QSize(120, 90));
        QCOMPARE(site->file(original, "image/jpeg"),
                 DownloadHeaders("image/jpeg", photo.size()) + photo);
        // The download itself reaches a WBMP-only phone as a WBMP, also
        // through a gateway that adds */*.
        QVERIFY(site->file(original, "image/vnd.wap.wbmp, */*").startsWith(wbmpHeaders));

        // A picture that cannot be read reaches such a phone not at all;
        // the page shows its name instead.
        const QByteArray broken = site->folderPage(site->share(
            "Broken", {{"Cut.jpg", photo.left(photo.size() / 3)}, {"Not.jpg", "data"}}));
        for (const QByteArray name : {"Cut.jpg", "Not.jpg"}) {
            const QByteArray details = site->follow(broken, name);
            QVERIFY(details.contains("\" alt=\"" + name + "\" align=\"top\"/>"));
            const QByteArray answer = site->file(site->fileLinkOf(details), wbmpOnly + ", */*");
            QVERIFY2(answer.startsWith(wbmpHeaders) ||
                         answer == "HTTP/1.1 406 Not Acceptable\r\nContent-length: 0\r\n\r\n",
                     answer.left(100).constData());
        }
        // Nor does a range past its end, whose answer would tell its size.
        const QByteArray notLink = site->fileLinkOf(site->follow(broken, "Not.jpg"));
        QCOMPARE(site->file(notLink, wbmpOnly + "\r\nRange: bytes=99-"),
                 QByteArray("HTTP/1.1 406 Not Acceptable\r\nContent-length: 0\r\n\r\n"));
    }

    // 64 phones that name a huge screen ask for a grainy photo as PNG and
    // never read the answer: they share one result no larger than a phone
    // can use, memory stays bounded, and others are answered meanwhile.
    void picturesForHugeScreensAreBoundedAndShared() {
        const QByteArray share = site->share("Huge", {{"Photo.jpg", JpegOf({2828, 2828}, true)}});
        const QByteArray link =
            site->fileLinkOf(site->follow(site->folderPage(share), "Photo.jpg"));
        const QByteArray phone = "image/png\r\nUA-Pixels: 4096x4096"; // Accept and one more header
        const qint64 start = ResidentBytes();
        qint64 peak = start;
        std::deque<QTcpSocket> silent(64);
        for (QTcpSocket& socket : silent) {
            socket.setReadBufferSize(1);
            socket.connectToHost(QHostAddress::LocalHost, site->h.server.Port());
            socket.write("GET " + link + " HTTP/1.1\r\nAccept: " + phone + "\r\n\r\n");
        }
        const QString sent =
            QStringLiteral("Sending file: %1/Photo.jpg").arg(QString::fromUtf8(share));
        QVERIFY(QTest::qWaitFor(
            [&] {
                peak = std::max(peak, ResidentBytes());
                return site->h.temp.lines(LogDetail).count(sent) == 64;
            },
            60000));
        QVERIFY(!SiteHarness::linkTitled(site->h.deck("/"), "Shared Folders").isEmpty());
        const QByteArray answer = site->file(link, phone);
        const QImage png = QImage::fromData(BodyOf(answer), "png");
        QVERIFY(!png.isNull() && png.width() <= 1024 && BodyOf(answer).size() <= 512 << 10);
        QVERIFY2(peak - start < 64 << 20, QByteArray::number(peak - start).constData());
    }

    // A file beyond 4 GiB shows its whole size, and streams to a phone that
    // reads only its start while others are served.
    void largeFileStreamsWhileOthersAreServed() {
        const QByteArray share = site->share("Large", {{"Movie.jar", {}}});
        const qint64 size = (qint64(5) << 30) + 123;
        QVERIFY(QFile::resize(QString::fromUtf8(share + "/Movie.jar"), size));
        const QByteArray page = site->folderPage(share);
        const QByteArray details = site->follow(page, "Movie.jar");
        QVERIFY(details.contains("<b>Size: </b>5,368,709,243 bytes<br/>"));

        // A client that reads only the first megabytes and leaves the rest.
        QTcpSocket slow;
        slow.setReadBufferSize(2 << 20);
        slow.connectToHost(QHostAddress::LocalHost, site->h.server.Port());
        QVERIFY(slow.waitForConnected(20000));
        slow.write(LoopbackClient::Request(site->fileLinkOf(details)));
        QVERIFY(QTest::qWaitFor([&] { return slow.bytesAvailable() >= (1 << 20); }, 20000));
        const QByteArray head = slow.read(1 << 20);
        QVERIFY(head.startsWith(DownloadHeaders("application/x-compressed", size)));
        QCOMPARE(BodyOf(head).left(16), QByteArray(16, '\0'));

        QCOMPARE(site->follow(page, "Movie.jar"), details);
        QVERIFY(slow.state() == QAbstractSocket::ConnectedState);
        // Its end, from beyond 4 GiB.
        QCOMPARE(site->answerTo("GET " + site->fileLinkOf(details) +
                                " HTTP/1.1\r\nRange: bytes=-3\r\n\r\n"),
                 PartOf("application/x-compressed", "5368709240-5368709242/5368709243",
                        QByteArray(3, '\0')));
    }

    // A download can be resumed: one range of bytes comes with 206 and its
    // place in the file, a range past the end with 416, and anything else
    // (several ranges, another unit, nonsense, an If-Range, HEAD) the whole
    // file. An HTTP/1.0 client's connection closes after the last byte.
    void downloadsResumeFromAnyByte() {
        const QByteArray share = site->share("Resume", {{"Tune.mid", "0123456789"}});
        const QByteArray link = site->fileLinkOf(site->follow(site->folderPage(share), "Tune.mid"));
        const QByteArray whole = DownloadHeaders("audio/midi", 10) + "0123456789";
        const QByteArray unsatisfiable = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: "
                                         "bytes */10\r\nContent-length: 0\r\n\r\n";
        const auto part = [](const QByteArray& range, const QByteArray& bytes) {
            return PartOf("audio/midi", range + "/10", bytes);
        };
        // clang-format off
        const std::pair<QByteArray, QByteArray> ranges[] = {
            {"Range: bytes=2-5", part("2-5", "2345")}, {"Range: bytes=7-", part("7-9", "789")},
            {"range:BYTES=-3 ", part("7-9", "789")}, {"Range: bytes=-30", part("0-9", "0123456789")},
            {"Range: bytes=5-100", part("5-9", "56789")}, {"Range: bytes=10-", unsatisfiable},
            {"Range: bytes=-0", unsatisfiable}, {"Range: bytes=99999999999999999999-", unsatisfiable},
            {"Range: bytes=1-2,4-5", whole}, {"Range: bytes=5-2", whole}, {"Range: items=1-2", whole},
            {"Range: bytes=x-", whole}, {"Range: bytes=1-2\r\nIf-Range: \"x\"", whole}};
        // clang-format on
        for (const auto& [header, expected] : ranges)
            QCOMPARE(site->answerTo("GET " + link + " HTTP/1.1\r\n" + header + "\r\n\r\n"),
                     expected);
        for (const QByteArray method : {"GET", "HEAD"}) {
            LoopbackClient old(site->h.server.Port());
            old.Send(method + ' ' + link + " HTTP/1.0\r\nRange: bytes=2-5\r\n\r\n");
            QVERIFY(old.WaitClosed());
            QCOMPARE(old.Received(), method == "GET" ? part("2-5", "2345") : whole.chopped(10));
        }
    }

    // A file written to while it is downloaded: the phone gets exactly the
    // announced length, so the next answer on the connection stays framed,
    // or, when the file shrank, a closed connection instead of a wait.
    void fileChangedDuringDownloadKeepsTheAnnouncedLength() {
        const QByteArray share = site->share("Changing");
        const qint64 size = qint64(64) << 20;
        QFile file(QString::fromUtf8(share + "/Tune.mid"));
        QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(size));
        const QByteArray link = site->fileLinkOf(site->follow(site->folderPage(share), "Tune.mid"));
        const QByteArray headers = DownloadHeaders("audio/midi", size);
        for (const bool grows : {true, false}) {
            LoopbackClient client(site->h.server.Port());
            client.Socket().setReadBufferSize(256 << 10);
            client.Send(LoopbackClient::Request(link));
            QVERIFY(client.WaitForBytes(64 << 10));
            QVERIFY(file.resize(grows ? 2 * size : size / 2));
            client.Socket().setReadBufferSize(0);
            if (grows) {
                client.Send(LoopbackClient::Request("/favicon.ico"));
                QVERIFY(client.WaitForBytes(headers.size() + size + 32));
                QCOMPARE(client.Received().left(headers.size()), headers);
                QCOMPARE(client.Received().mid(headers.size() + size, 17),
                         QByteArray("HTTP/1.1 200 OK\r\n"));
            } else {
                QVERIFY(client.WaitClosed());
                QVERIFY(client.Received().size() < size);
            }
            QVERIFY(file.resize(size));
        }
    }
};

QTEST_GUILESS_MAIN(tst_SharedFolderPages)
#include "tst_sharedfolderpages.moc"
