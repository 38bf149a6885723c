#pragma once

#include <QtGlobal>

class CPacket;
class SitePages;
class ShareAccess;

// Sends the file behind a file link: the welcome picture, or a file that is
// still inside a shared folder.
class FileSender {
public:
    FileSender(SitePages& pages, const ShareAccess& shares);

    // Sends the file behind file link index; a missing entry or an
    // unreadable file is logged and the request dropped.
    void SendDownload(CPacket& packet, qint64 index);

private:
    SitePages& m_pages;
    const ShareAccess& m_shares;
};
