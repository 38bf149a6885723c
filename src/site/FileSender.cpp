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

namespace {

const QByteArray UnavailableMessage = "This file is no longer available.";
const QByteArray BusyMessage = "Too many downloads are running. Please try again in a moment.";

// Opens a regular file by its name's bytes as stored on disk, without
// waiting (a named pipe is refused, not waited on); -1 with error set when it
// cannot be sent.
int OpenRegularFile(const QByteArray& path, qint64& size, QString& error) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = fd < 0 ? QString::fromLocal8Bit(std::strerror(errno))
                       : QStringLiteral("Not a regular file");
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    size = info.st_size;
    return fd;
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
    // Only the welcome image and files still inside a shared folder are sent.
    if (path != m_pages.Options().welcomeGraphicFilename() && !m_shares.IsShared(path)) {
        m_pages.Log(LogError, "Error occured sending file:The file is not in a shared folder.");
        m_pages.SendMessagePage(packet, UnavailableMessage, FollowUpSplashScreen);
        return;
    }
    if (!packet.DownloadSlotAvailable()) {
        m_pages.SendMessagePage(packet, BusyMessage, FollowUpSplashScreen);
        return;
    }
    qint64 size = 0;
    QString error;
    const int fd = OpenRegularFile(path, size, error);
    if (fd < 0) {
        m_pages.Log(LogError, "Error occured sending file:" + error.toUtf8());
        m_pages.SendMessagePage(packet, UnavailableMessage, FollowUpSplashScreen);
        return;
    }
    m_pages.Log(LogDetail, "Sending file: " + path);
    // The system sends the file itself, exactly the announced length.
    packet.SendFile("HTTP/1.1 200 OK\r\nContent-type: " + ContentTypeOfFile(path) +
                        "\r\nContent-length: " + QByteArray::number(size) + "\r\n\r\n",
                    fd, 0, size);
}
