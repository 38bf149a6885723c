#pragma once

#include <QByteArray>
#include <QtGlobal>

class CPacket;
class PictureAdapter;
class SitePages;
class ShareAccess;

// Sends the file behind a file link: the welcome picture, or a file that is
// still inside a shared folder. A picture the phone cannot show as it is
// goes out converted, once the conversion is done; a file sent as it is can
// be resumed (a single range of its bytes).
class FileSender {
public:
    FileSender(SitePages& pages, const ShareAccess& shares, PictureAdapter& pictures);

    // Sends the file behind file link index; a missing entry or an
    // unreadable file is logged and the request dropped.
    void SendDownload(CPacket& packet, qint64 index);

private:
    enum class PictureUse { AsItIs, ForThePhone, FittedForThePhone };
    void sendFile(CPacket& packet, const QByteArray& path, PictureUse use);
    bool sendConverted(CPacket& packet, const QByteArray& path, int fd, PictureUse use);

    SitePages& m_pages;
    const ShareAccess& m_shares;
    PictureAdapter& m_pictures;
};
