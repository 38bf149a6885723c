#include "http/DownloadSlots.h"

void DownloadSlots::Take(const QByteArray& client) {
    ++m_active;
    ++m_held[client];
}

void DownloadSlots::GiveBack(const QByteArray& client) {
    --m_active;
    const auto held = m_held.find(client);
    if (held != m_held.end() && --*held <= 0)
        m_held.erase(held);
}
