#include "site/FileSender.h"

#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "settings/Settings.h"
#include "site/FileSystem.h"
#include "site/LinkTables.h"
#include "site/ShareAccess.h"
#include "site/SitePages.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace {

const QByteArray UnavailableMessage = "This file is no longer available.";
const QByteArray BusyMessage = "Too many downloads are running. Please try again in a moment.";

// The size of an opened file that can be sent (a regular file); nothing, with
// error set, otherwise. openError is errno of a failed open.
std::optional<qint64> SizeOfRegularFile(const FileSystem::Descriptor& file, int openError,
                                        QString& error) {
    struct stat info {};
    if (!file || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = !file ? QString::fromLocal8Bit(std::strerror(openError))
                      : QStringLiteral("Not a regular file");
        return std::nullopt;
    }
    return qint64(info.st_size);
}

QByteArray ContentTypeOfFile(const QByteArray& path) {
    const QByteArray fileName = path.mid(path.lastIndexOf('/') + 1);
    const QByteArray type = FileSystem::ContentTypeOfExtension(FileSystem::FileExtension(fileName));
    return type.isEmpty() ? QByteArray("application/octet-stream") : type;
}

} // namespace

FileSender::FileSender(SitePages& pages, const ShareAccess& shares)
    : m_pages(pages)
    , m_shares(shares) {}

void FileSender::SendDownload(CPacket& packet, qint64 index) {
    const FileLink* file = m_pages.Links().FindFileLink(index);
    if (!file) {
        m_pages.Log(LogError, "Error occured sending file:The download link is no longer valid.");
        m_pages.SendMessagePage(packet, SitePages::TimedOutMessage, FollowUpSplashScreen);
        return;
    }
    const QByteArray path = file->path;
    // Only the welcome picture and files inside a shared folder are sent;
    // opening does not wait (a named pipe is refused, not waited on).
    constexpr int Flags = O_RDONLY | O_NONBLOCK;
    FileSystem::Descriptor opened =
        path == m_pages.Options().welcomeGraphicFilename()
            ? FileSystem::Descriptor(::open(path.constData(), Flags | O_CLOEXEC))
            : m_shares.Open(path, Flags);
    const int openError = errno;
    if (!opened && openError == EXDEV) {
        m_pages.Log(LogError, "Error occured sending file:The file is not in a shared folder.");
        m_pages.SendMessagePage(packet, UnavailableMessage, FollowUpSplashScreen);
        return;
    }
    QString error;
    const std::optional<qint64> size = SizeOfRegularFile(opened, openError, error);
    if (!size) {
        m_pages.Log(LogError, "Error occured sending file:" + error.toUtf8());
        m_pages.SendMessagePage(packet, UnavailableMessage, FollowUpSplashScreen);
        return;
    }
    if (!packet.DownloadSlotAvailable()) {
        m_pages.SendMessagePage(packet, BusyMessage, FollowUpSplashScreen);
        return;
    }
    m_pages.Log(LogDetail, "Sending file: " + path);
    // The system sends the file itself, exactly the announced length.
    packet.SendFile("HTTP/1.1 200 OK\r\nContent-type: " + ContentTypeOfFile(path) +
                        "\r\nContent-length: " + QByteArray::number(*size) + "\r\n\r\n",
                    opened.Release(), 0, *size);
}
