#include "site/FileSender.h"

#include "base/StatusLog.h"
#include "http/ByteRange.h"
#include "http/CPacket.h"
#include "settings/Settings.h"
#include "site/ConfinedFolder.h"
#include "site/FileTypes.h"
#include "site/LinkTables.h"
#include "site/PhoneDisplay.h"
#include "site/PictureAdapter.h"
#include "site/ShareAccess.h"
#include "site/SiteContext.h"
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
    const QByteArray type = FileTypes::ContentTypeOfExtension(FileTypes::FileExtension(fileName));
    return type.isEmpty() ? QByteArray("application/octet-stream") : type;
}

bool IsPicture(const QByteArray& path) {
    const QByteArray fileName = path.mid(path.lastIndexOf('/') + 1);
    return FileTypes::KindOfExtension(FileTypes::FileExtension(fileName)) ==
           FileTypes::FileKind::Picture;
}

QByteArray FileHeaders(const QByteArray& contentType, const ByteRange& range,
                       const QByteArray& moreLines = {}) {
    return range.StatusLine() + "Content-type: " + contentType +
           "\r\nContent-length: " + QByteArray::number(range.length) + "\r\n" + moreLines + "\r\n";
}

} // namespace

FileSender::FileSender(const SiteContext& context, SitePages& pages, const ShareAccess& shares,
                       PictureAdapter& pictures)
    : m_context(context)
    , m_pages(pages)
    , m_shares(shares)
    , m_pictures(pictures) {}

void FileSender::SendDownload(CPacket& packet, qint64 index) {
    const FileLink* file = m_context.Links().FindFileLink(index);
    if (!file) {
        m_context.Log(LogError, "Error occured sending file:The download link is no longer valid.");
        m_pages.SendMessagePage(packet, SitePages::TimedOutMessage, FollowUpSplashScreen);
        return;
    }
    sendFile(packet, file->path,
             file->fitted ? PictureUse::FittedForThePhone : PictureUse::ForThePhone);
}

void FileSender::sendFile(CPacket& packet, const QByteArray& path, PictureUse use) {
    // Only the welcome picture and files inside a shared folder are sent;
    // opening does not wait (a named pipe is refused, not waited on).
    constexpr int Flags = O_RDONLY | O_NONBLOCK;
    FileSystem::Descriptor opened =
        path == m_context.Options().welcomeGraphicFilename()
            ? FileSystem::Descriptor(::open(path.constData(), Flags | O_CLOEXEC))
            : m_shares.Open(path, Flags);
    const int openError = errno;
    if (!opened && openError == EXDEV) {
        m_context.Log(LogError, "Error occured sending file:The file is not in a shared folder.");
        m_pages.SendMessagePage(packet, UnavailableMessage, FollowUpSplashScreen);
        return;
    }
    QString error;
    const std::optional<qint64> size = SizeOfRegularFile(opened, openError, error);
    if (!size) {
        m_context.Log(LogError, "Error occured sending file:" + error.toUtf8());
        m_pages.SendMessagePage(packet, UnavailableMessage, FollowUpSplashScreen);
        return;
    }
    if (IsPicture(path)) {
        if (use != PictureUse::Unconverted && sendConverted(packet, path, opened.Get(), use))
            return;
        if (!PhoneDisplay::FromHeaders(packet.Headers()).Accepts(ContentTypeOfFile(path)))
            return sendNoPicture(packet, path);
    }
    // A file sent as it is can be resumed: a phone may ask for the rest.
    const ByteRange range = ByteRange::Requested(packet, *size);
    if (range.kind == ByteRange::Kind::Unsatisfiable) {
        packet.SendRawResponse(range.StatusLine() + range.ContentRangeLine(*size) +
                               "Content-length: 0\r\n\r\n");
        return;
    }
    if (!packet.DownloadSlotAvailable()) {
        m_pages.SendMessagePage(packet, BusyMessage, FollowUpSplashScreen);
        return;
    }
    m_context.Log(LogDetail, "Sending file: " + path);
    // The system sends the file itself, exactly the announced length.
    packet.SendFile(FileHeaders(ContentTypeOfFile(path), range,
                                range.ContentRangeLine(*size) + "Accept-Ranges: bytes\r\n"),
                    opened.Release(), range.first, range.length);
}

// Answers with the picture converted for the phone, later, when it cannot
// show the file as it is; false when the file itself is to be sent.
bool FileSender::sendConverted(CPacket& packet, const QByteArray& path, int fd, PictureUse use) {
    const QByteArray type = ContentTypeOfFile(path);
    const auto target = m_pictures.TargetFor(fd, type, PhoneDisplay::FromHeaders(packet.Headers()),
                                             use == PictureUse::FittedForThePhone);
    if (!target)
        return false;
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return false;
    const auto answer = [this, path](CPacket& later, const PictureAdapter::Converted& converted) {
        if (!converted)
            return sendFile(later, path, PictureUse::Unconverted);
        m_context.Log(LogDetail, "Sending file: " + path);
        const ByteRange whole{ByteRange::Kind::Whole, 0, converted.bytes.size()};
        later.SendRawResponse(FileHeaders(converted.type, whole), converted.bytes);
    };
    std::shared_ptr<CPacket> kept = packet.weak_from_this().lock();
    if (!kept) {
        // A request the server does not own has no connection to wait on.
        const PictureAdapter::Converted converted = m_pictures.ConvertNow(copy, type, *target);
        ::close(copy);
        answer(packet, converted);
        return true;
    }
    packet.Defer();
    m_pictures.Convert(
        copy, type, *target,
        [kept, answer](const PictureAdapter::Converted& converted) { answer(*kept, converted); });
    return true;
}

// The phone shows the page's alternative text, the file's name, instead.
void FileSender::sendNoPicture(CPacket& packet, const QByteArray& path) {
    m_context.Log(LogDetail, "No picture this phone can show: " + path);
    packet.SendRawResponse("HTTP/1.1 406 Not Acceptable\r\nContent-length: 0\r\n\r\n");
}
