#include "site/FileSender.h"

#include "base/StatusLog.h"
#include "http/ByteRange.h"
#include "http/CPacket.h"
#include "settings/Settings.h"
#include "site/ConfinedFolder.h"
#include "site/FileTypes.h"
#include "site/PhoneDisplay.h"
#include "site/PictureAdapter.h"
#include "site/ShareAccess.h"
#include "site/SiteContext.h"
#include "site/SiteLinks.h"
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

// A file that can be sent (a regular file), open, and its size.
struct OpenedFile {
    FileSystem::Descriptor file;
    qint64 size = 0;
};

// Only the welcome picture and files inside a shared folder are sent;
// opening does not wait (a named pipe is refused, not waited on). Nothing,
// with the reason in error, for a file that cannot be sent.
std::optional<OpenedFile> OpenToSend(const QByteArray& path, bool welcomePicture,
                                     const ShareAccess& shares, QString& error) {
    constexpr int Flags = O_RDONLY | O_NONBLOCK;
    FileSystem::Descriptor opened =
        welcomePicture ? FileSystem::Descriptor(::open(path.constData(), Flags | O_CLOEXEC))
                       : shares.Open(path, Flags);
    const int openError = errno;
    struct stat info {};
    if (opened && ::fstat(opened.Get(), &info) == 0 && S_ISREG(info.st_mode))
        return OpenedFile{std::move(opened), qint64(info.st_size)};
    if (opened)
        error = QStringLiteral("Not a regular file");
    else if (openError == EXDEV)
        error = QStringLiteral("The file is not in a shared folder.");
    else
        error = QString::fromLocal8Bit(std::strerror(openError));
    return std::nullopt;
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

FileSender::FileSender(const SiteContext& context, const ShareAccess& shares,
                       PictureAdapter& pictures, MessagePage messagePage)
    : m_context(context)
    , m_shares(shares)
    , m_pictures(pictures)
    , m_messagePage(std::move(messagePage)) {}

void FileSender::SendDownload(CPacket& packet, qint64 index) {
    const FileLink* file = m_context.Links().FindFileLink(index);
    if (!file) {
        m_context.Log(LogError, "Error occured sending file:The download link is no longer valid.");
        return m_messagePage(packet, SitePages::TimedOutMessage);
    }
    sendFile(packet, file->path,
             file->fitted ? PictureUse::FittedForThePhone : PictureUse::ForThePhone);
}

// First what is to go out, from the file, the phone and the range asked
// for; then the one answer.
void FileSender::sendFile(CPacket& packet, const QByteArray& path, PictureUse use) {
    QString error;
    std::optional<OpenedFile> opened =
        OpenToSend(path, path == m_context.Options().welcomeGraphicFilename(), m_shares, error);
    if (!opened) {
        m_context.Log(LogError, "Error occured sending file:" + error.toUtf8());
        return m_messagePage(packet, UnavailableMessage);
    }
    const PictureAnswer picture = IsPicture(path)
                                      ? answerPicture(packet, path, opened->file.Get(), use)
                                      : PictureAnswer::AsItIs;
    if (picture == PictureAnswer::Converted)
        return;
    // A file sent as it is can be resumed: a phone may ask for the rest.
    const ByteRange range = ByteRange::Requested(packet, opened->size);
    if (picture == PictureAnswer::NotShown) {
        // The phone shows the page's alternative text, the file's name, instead.
        m_context.Log(LogDetail, "No picture this phone can show: " + path);
        return packet.SendRawResponse("HTTP/1.1 406 Not Acceptable\r\nContent-length: 0\r\n\r\n");
    }
    if (range.kind == ByteRange::Kind::Unsatisfiable)
        return packet.SendRawResponse(range.StatusLine() + range.ContentRangeLine(opened->size) +
                                      "Content-length: 0\r\n\r\n");
    if (!packet.DownloadSlotAvailable())
        return m_messagePage(packet, BusyMessage);
    m_context.Log(LogDetail, "Sending file: " + path);
    // The system sends the file itself, exactly the announced length.
    packet.SendFile(FileHeaders(ContentTypeOfFile(path), range,
                                range.ContentRangeLine(opened->size) + "Accept-Ranges: bytes\r\n"),
                    opened->file.Release(), range.first, range.length);
}

// A picture the phone cannot show as it is goes out converted for it, later,
// once the conversion is done; else as it is, to a phone that takes its type.
FileSender::PictureAnswer FileSender::answerPicture(CPacket& packet, const QByteArray& path, int fd,
                                                    PictureUse use) {
    const QByteArray type = ContentTypeOfFile(path);
    const PhoneDisplay::PictureView phone =
        PhoneDisplay::FromHeaders(packet.Headers()).ForPicture(type);
    const auto target =
        use == PictureUse::Unconverted
            ? std::nullopt
            : m_pictures.TargetFor(fd, type, phone, use == PictureUse::FittedForThePhone);
    const int copy = target ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    if (copy < 0)
        return phone.shownAsIs ? PictureAnswer::AsItIs : PictureAnswer::NotShown;
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
        return PictureAnswer::Converted;
    }
    packet.Defer();
    m_pictures.Convert(
        copy, type, *target,
        [kept, answer](const PictureAdapter::Converted& converted) { answer(*kept, converted); });
    return PictureAnswer::Converted;
}
