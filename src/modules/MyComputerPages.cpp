// The My Computer pages of the site: the menu, the confirmation and password
// steps, and the actions behind them.
#include "server/Site.h"

void Site::SendMyComputerMenu(CPacket& packet) {
    SendMainMenu(packet);
}

void Site::HandleMyComputerAction(CPacket& packet, const QByteArray&) {
    SendMainMenu(packet);
}
