#include "site/Site.h"

#include "base/PocketlaneError.h"
#include "base/StatusLog.h"
#include "base/basUtilities.h"
#include "http/CPacket.h"
#include "http/ResponseStream.h"
#include "http/WapServer.h"
#include "settings/Settings.h"
#include "settings/SharedFolderList.h"
#include "site/LinkTables.h"
#include "site/graffiti/GraffitiBoard.h"
#include "site/sharedfolders/FileSystem.h"
#include "wml/WmlDeck.h"
#include "wml/WmlParagraph.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace {

const QByteArray PasswordProtectedMessage =
    "This Pocketlane site is password protected. You must enter from the main page.";
const QByteArray TimedOutMessage =
    "This session has timed out or Pocketlane has been restarted since you started this session.";
const QByteArray SplashLogLine = "New user logging in. Sending splash screen.";
constexpr int GraffitiShown = 10;

std::optional<qint64> WholeNumber(const QByteArray& text) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

// The headers, then the file in pieces read as the connection drains.
class FileResponseStream : public ResponseStream {
public:
    // Opens a regular file by its name's bytes as stored on disk. Opening
    // does not wait (a named pipe is refused, not waited on).
    bool Open(const QByteArray& path) {
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            m_error = fd < 0 ? QString::fromLocal8Bit(std::strerror(errno))
                             : QStringLiteral("Not a regular file");
            if (fd >= 0)
                ::close(fd);
            return false;
        }
        m_size = info.st_size;
        return m_file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    }
    qint64 Size() const { return m_size; }
    void SetHeaders(const QByteArray& headers) { m_headers = headers; }

    QString ErrorString() const override {
        return m_error.isEmpty() ? m_file.errorString() : m_error;
    }
    // Exactly the announced length is sent: a file that grows meanwhile is
    // cut there, and one that shrinks fails the stream (and the connection)
    // rather than leave the phone waiting for bytes that never come.
    bool AtEnd() const override { return m_headers.isEmpty() && m_sent >= m_size; }

    QByteArray ReadChunk(qint64 maxBytes) override {
        if (!m_headers.isEmpty())
            return std::exchange(m_headers, QByteArray());
        const QByteArray chunk = m_file.read(qMin(maxBytes, m_size - m_sent));
        m_sent += chunk.size();
        return chunk;
    }

private:
    QByteArray m_headers;
    QFile m_file;
    QString m_error;
    qint64 m_size = 0;
    qint64 m_sent = 0;
};

QByteArray ContentTypeOfFile(const QByteArray& path) {
    const QByteArray fileName = path.mid(path.lastIndexOf('/') + 1);
    const QByteArray type = FileSystem::ContentTypeOfExtension(FileSystem::FileExtension(fileName));
    return type.isEmpty() ? QByteArray("application/octet-stream") : type;
}

} // namespace

Site::Site(WapServer& server, StatusLog& log, const Settings& settings,
           const SharedFolderList& folders, GraffitiBoard& board, SiteLinks& links, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_settings(settings)
    , m_folders(folders)
    , m_board(board)
    , m_links(links) {
    // Links from before a stop must not lead anywhere after the next start.
    connect(&server, &WapServer::Stopped, this, [this] { m_links.Erase(); });
}

void Site::HandleRequest(const std::shared_ptr<CPacket>& packet) {
    ProcessRequest(*packet);
}

void Site::ProcessRequest(CPacket& packet) {
    if (packet.Variables().Count() == 0 && packet.Root() != "/") {
        log(LogDetail,
            "Received unknown request. Error sent to user. Request was: " + packet.Root());
        SendErrorPage(packet, "An unknown request was sent to Pocketlane.");
        return;
    }
    if (packet.Variables().Contains("S"))
        processLinkState(packet);
    else
        processEntry(packet);
}

void Site::processEntry(CPacket& packet) {
    const TextCollection& variables = packet.Variables();
    const bool passwordOn = m_settings.enablePassword();
    if (passwordOn && !variables.Contains("P")) {
        if (variables.Contains("F") && fileLinkKeyMatches(packet)) {
            SendDownload(packet, *WholeNumber(variables.Item("F")));
            return;
        }
        SendWelcomePage(packet);
        return;
    }
    if (passwordOn && variables.Item("P") != m_settings.password()) {
        SendMessagePage(packet, "The password you supplied is incorrect.", FollowUpSplashScreen);
        return;
    }
    if (variables.Contains("F")) {
        if (const auto index = WholeNumber(variables.Item("F")))
            SendDownload(packet, *index);
        return;
    }
    const bool welcomeShown =
        passwordOn ? m_settings.password().isEmpty()
                   : m_settings.showWelcomeGraphic() || m_settings.showWelcomeMessage();
    if (welcomeShown)
        SendWelcomePage(packet);
    else
        SendMainMenu(packet);
}

bool Site::fileLinkKeyMatches(const CPacket& packet) const {
    const auto index = WholeNumber(packet.Variables().Item("F"));
    const FileLink* file = index ? m_links.FindFileLink(*index) : nullptr;
    return file && !file->key.isEmpty() && packet.Variables().Contains("K") &&
           packet.Variables().Item("K") == file->key;
}

void Site::processLinkState(CPacket& packet) {
    const TextCollection& variables = packet.Variables();
    const auto index = WholeNumber(variables.Item("S"));
    if (m_settings.enablePassword()) {
        const LinkState* state = index ? m_links.FindLinkState(*index) : nullptr;
        if (!state || !variables.Contains("K") || variables.Item("K") != state->K) {
            SendMessagePage(packet, PasswordProtectedMessage, FollowUpSplashScreen);
            return;
        }
    }
    if (index)
        HandleAction(packet, *index);
}

void Site::HandleAction(CPacket& packet, qint64 index) {
    const LinkState* state = m_links.FindLinkState(index);
    if (!state) {
        SendErrorPage(packet, TimedOutMessage);
        return;
    }
    const LinkState link = *state; // pages add records, which may move the table's slots
    try {
        const int page = link.P;
        if (link.M == "G" && link.A == "A")
            SendAddGraffitiPage(packet);
        else if (link.M == "G")
            SendGraffitiPage(packet);
        else if (link.M == "M" && link.A.size() == 1 && QByteArray("RXPLS").contains(link.A))
            HandleMyComputerAction(packet, link.A, index);
        else if (link.M == "M")
            SendMyComputerMenu(packet);
        else if (link.M == "F" && link.D.isEmpty())
            SendRootLevelPage(packet, page, index);
        else if (link.M == "F" && link.F.isEmpty())
            SendFolderPage(packet, link.U, link.D, page, index);
        else if (link.M == "F")
            SendFileDetailsPage(packet, link.U, link.D, link.F, page, index);
        else
            SendMainMenu(packet);
    } catch (const PocketlaneError& error) {
        m_log.LogStatus(LogError, QStringLiteral("HandleAction - ") + error.Description());
    }
}

void Site::SendErrorPage(CPacket& packet, const QByteArray& message) {
    CDeck deck;
    const auto paragraph = newPage(deck, "Error", "Error");
    paragraph->NormalText("An error has occured, and you will be returned to the main menu when "
                          "you select the following link:",
                          true);
    paragraph->AddGoAnchor("Main Menu", "/");
    paragraph->AddLineBreak(2);
    paragraph->BoldUnderlinedText("Error Message", true);
    paragraph->NormalText(message, true);
    sendDeck(packet, deck);
    log(LogError, message);
}

void Site::SendMessagePage(CPacket& packet, const QByteArray& message, int followUp) {
    CDeck deck;
    const auto paragraph = newPage(deck, "Pocketlane", "Pocketlane");
    paragraph->NormalText(message, true);
    paragraph->AddLineBreak(1);
    if (followUp == FollowUpSplashScreen)
        paragraph->AddGoAnchor("Splash Screen", "/");
    else if (followUp == FollowUpMainMenu)
        paragraph->AddGoAnchor("Main Menu", m_links.MakeMainMenuLink());
    else if (followUp == FollowUpPoweredBy)
        paragraph->BoldText("Powered by Pocketlane", true);
    sendDeck(packet, deck);
    log(LogDetail, "Message to user:" + message);
}

void Site::SendWelcomePage(CPacket& packet) {
    CDeck deck;
    const auto paragraph = newPage(deck, "Pocketlane", "Pocketlane");
    if (m_settings.showWelcomeGraphic()) {
        paragraph->AddImage(m_links.RegisterFileLink(m_settings.welcomeGraphicFilename()),
                            "Welcome!", 1);
        paragraph->AddLineBreak(1);
    }
    if (m_settings.showWelcomeMessage()) {
        paragraph->NormalText(m_settings.welcomeMessageText(), true);
        paragraph->AddLineBreak(1);
    }
    if (m_settings.enablePassword()) {
        paragraph->NormalText("Please enter Password:", true);
        paragraph->AddLineBreak(1);
        paragraph->AddInput("P", 0, {}, 0, false, true);
        paragraph->AddLineBreak(1);
        paragraph->AddAnchor("Login", "/?P=$(P)");
    } else {
        paragraph->AddAnchor("Enter", m_links.MakeMainMenuLink());
    }
    paragraph->AddLineBreak(2);
    paragraph->NormalText("Powered by Pocketlane", true);
    sendDeck(packet, deck);
    log(LogNotice, SplashLogLine);
}

void Site::SendMainMenu(CPacket& packet) {
    struct Module {
        bool on;
        const char* M;
        const char* title;
    };
    const Module modules[] = {
        {m_settings.enableSharedFolders(), "F", "Shared Folders"},
        {m_settings.enableGraffiti(), "G", "Graffiti"},
        {m_settings.enableMyComputer(), "M", "My Computer"},
    };
    CDeck deck;
    const auto paragraph = newPage(deck, "Main Menu", "MainMenu");
    bool anyModule = false;
    for (const Module& module : modules) {
        if (!module.on)
            continue;
        anyModule = true;
        paragraph->AddAnchor(module.title, moduleLink(module.M));
        paragraph->AddLineBreak(1);
    }
    if (!anyModule)
        paragraph->NormalText(
            "The owner of this site is not currently allowing any modules to be run.", true);
    paragraph->AddLineBreak(1);
    paragraph->NormalText("Powered by Pocketlane", true);
    sendDeck(packet, deck);
    log(LogNotice, SplashLogLine);
}

void Site::SendGraffitiPage(CPacket& packet) {
    if (packet.Variables().Contains("G")) {
        const QByteArray text = packet.Variables().Item("G");
        m_board.AddGraffiti(text);
        log(LogNotice, "User added graffiti:" + text);
    }
    CDeck deck;
    const auto paragraph = newPage(deck, "Graffiti", "Graffiti");
    const QList<QByteArray>& messages = m_board.messages();
    for (int i = m_board.firstOfLast(GraffitiShown); i < m_board.count(); ++i) {
        if (i % 2 == 1)
            paragraph->ItalicText(messages.at(i), true);
        else
            paragraph->NormalText(messages.at(i), true);
    }
    if (messages.isEmpty())
        paragraph->NormalText("No one has added Graffiti, be the first!", true);
    paragraph->BoldText("==============", true);
    paragraph->AddAnchor("Add Graffiti", moduleLink("G", "A"));
    addMainMenuAnchor(*paragraph);
    sendDeck(packet, deck);
}

void Site::SendAddGraffitiPage(CPacket& packet) {
    CDeck deck;
    const auto paragraph = newPage(deck, "Add Graffiti", "Graffiti");
    paragraph->BoldText("Enter your Graffiti below", true);
    paragraph->AddLineBreak(1);
    paragraph->AddInput("G", GraffitiBoard::MaxMessageCharacters, {}, 0, false, true);
    paragraph->AddLineBreak(1);
    paragraph->AddAnchor("Submit", moduleLink("G", {}, "&G=$(G)"));
    addMainMenuAnchor(*paragraph);
    sendDeck(packet, deck);
}

void Site::SendDownload(CPacket& packet, qint64 index) {
    const FileLink* file = m_links.FindFileLink(index);
    if (!file) {
        log(LogError, "Error occured sending file:The download link is no longer valid.");
        return;
    }
    const QByteArray path = file->path;
    // Only the welcome image and files still inside a shared folder are sent.
    if (path != m_settings.welcomeGraphicFilename() && canonicalShareHolding(path).isEmpty()) {
        log(LogError, "Error occured sending file:The file is not in a shared folder.");
        return;
    }
    auto stream = std::make_unique<FileResponseStream>();
    if (!stream->Open(path)) {
        log(LogError, "Error occured sending file:" + stream->ErrorString().toUtf8());
        return;
    }
    stream->SetHeaders("HTTP/1.1 200 OK\r\nContent-type: " + ContentTypeOfFile(path) +
                       "\r\nContent-length: " + QByteArray::number(stream->Size()) + "\r\n\r\n");
    log(LogDetail, "Sending file: " + path);
    packet.SendStream(std::move(stream));
}

std::shared_ptr<CParagraph> Site::newPage(CDeck& deck, const QByteArray& title,
                                          const QByteArray& id) {
    return deck.AddNewCard(title, id)->AddNewParagraph();
}

void Site::sendDeck(CPacket& packet, const CDeck& deck) {
    packet.SendResponse(deck.GetWML(), HttpOk);
}

QByteArray Site::moduleLink(const QByteArray& module, const QByteArray& action,
                            const QByteArray& suffix) {
    return m_links.MakeLink({}, {}, {}, 1, module, action, {}, suffix);
}

void Site::addMainMenuAnchor(CParagraph& paragraph) {
    paragraph.AddLineBreak(1);
    paragraph.AddAnchor("[^] Main Menu", m_links.MakeMainMenuLink());
}

void Site::log(int level, const QByteArray& text) {
    m_log.LogStatus(level, QString::fromUtf8(text));
}
