#include "site/FileSender.h"

#include "base/StatusLog.h"
#include "http/CPacket.h"
#include "http/ResponseStream.h"
#include "settings/Settings.h"
#include "site/FileSystem.h"
#include "site/LinkTables.h"
#include "site/ShareAccess.h"
#include "site/SitePages.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const QByteArray UnavailableMessage = "This file is no longer available.";

// The headers, then the file in pieces read as the connection drains.
class FileResponseStream : public ResponseStream {
public:
    // Takes over a file opened for reading, when it is a regular file;
    // openError is errno of a failed open.
    bool Open(FileSystem::Descriptor file, int openError) {
        struct stat info {};
        if (!file || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            m_error = !file ? QString::fromLocal8Bit(std::strerror(openError))
                            : QStringLiteral("Not a regular file");
            return false;
        }
        m_size = info.st_size;
        return m_file.open(file.Release(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
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
    auto stream = std::make_unique<FileResponseStream>();
    if (!stream->Open(std::move(opened), openError)) {
        m_pages.Log(LogError, "Error occured sending file:" + stream->ErrorString().toUtf8());
        m_pages.SendMessagePage(packet, UnavailableMessage, FollowUpSplashScreen);
        return;
    }
    stream->SetHeaders("HTTP/1.1 200 OK\r\nContent-type: " + ContentTypeOfFile(path) +
                       "\r\nContent-length: " + QByteArray::number(stream->Size()) + "\r\n\r\n");
    m_pages.Log(LogDetail, "Sending file: " + path);
    packet.SendStream(std::move(stream));
}
