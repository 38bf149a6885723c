// The shared-folder pages of the site: the root level, folder pages and file
// details.
#include "server/Site.h"

void Site::SendRootLevelPage(CPacket& packet, int) {
    SendMainMenu(packet);
}

void Site::SendFolderPage(CPacket& packet, const QByteArray&, const QByteArray&, int) {
    SendMainMenu(packet);
}

void Site::SendFileDetailsPage(CPacket& packet, const QByteArray&, const QByteArray&,
                               const QByteArray&, int) {
    SendMainMenu(packet);
}
