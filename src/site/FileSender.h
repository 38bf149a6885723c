#pragma once

#include <QByteArray>
#include <QtGlobal>

class CPacket;
class PictureAdapter;
class SiteContext;
class SitePages;
class ShareAccess;

// Sends the file behind a file link: the welcome picture, or a file that is
// still inside a shared folder. A picture the phone cannot show as it is
// goes out converted, once the conversion is done; one that cannot be
// converted does not go to a phone that cannot show it at all. A file sent
// as it is can be resumed (a single range of its bytes).
class FileSender {
public:
    FileSender(const SiteContext& context, SitePages& pages, const ShareAccess& shares,
               PictureAdapter& pictures);

    // Sends the file behind file link index; a missing entry or an
    // unreadable file is logged and the request dropped.
    void SendDownload(CPacket& packet, qint64 index);

private:
    // Unconverted: a picture that could not be converted for the phone,
    // sent as it is only to a phone that takes its type.
    enum class PictureUse { ForThePhone, FittedForThePhone, Unconverted };
    void sendFile(CPacket& packet, const QByteArray& path, PictureUse use);
    bool sendConverted(CPacket& packet, const QByteArray& path, int fd, PictureUse use);
    void sendNoPicture(CPacket& packet, const QByteArray& path);

    const SiteContext& m_context;
    SitePages& m_pages;
    const ShareAccess& m_shares;
    PictureAdapter& m_pictures;
};
