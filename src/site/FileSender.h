#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>

class CPacket;
class PictureAdapter;
class SiteContext;
class ShareAccess;

// Sends the file behind a file link: the welcome picture, or a file that is
// still inside a shared folder. A picture the phone cannot show as it is
// goes out converted, once the conversion is done; one that cannot be
// converted does not go to a phone that cannot show it at all. A file sent
// as it is can be resumed (a single range of its bytes). What goes out is
// decided before anything is sent; a file that cannot go out is answered
// with a message, through the message page its owner gives.
class FileSender {
public:
    using MessagePage = std::function<void(CPacket& packet, const QByteArray& message)>;

    FileSender(const SiteContext& context, const ShareAccess& shares, PictureAdapter& pictures,
               MessagePage messagePage);

    // Sends the file behind file link index; a missing entry or an
    // unreadable file is logged and answered with a message.
    void SendDownload(CPacket& packet, qint64 index);

private:
    // Unconverted: a picture that could not be converted for the phone,
    // sent as it is only to a phone that takes its type.
    enum class PictureUse { ForThePhone, FittedForThePhone, Unconverted };
    // A picture goes out converted (once the conversion is done), as it is,
    // or not at all to a phone that cannot show it.
    enum class PictureAnswer { Converted, AsItIs, NotShown };
    void sendFile(CPacket& packet, const QByteArray& path, PictureUse use);
    PictureAnswer answerPicture(CPacket& packet, const QByteArray& path, int fd, PictureUse use);

    const SiteContext& m_context;
    const ShareAccess& m_shares;
    PictureAdapter& m_pictures;
    MessagePage m_messagePage;
};
