#pragma once

#include <QByteArray>
#include <QHash>

#include <algorithm>

// The files the server sends at the same time, shared out among clients
// (told apart by their address): one client, or a few, can never hold every
// slot, so that one who opens downloads and never reads them does not shut
// everyone else out.
class DownloadSlots {
public:
    // A client holds at most this part of all slots (and always one).
    static constexpr int ShareDivisor = 32;

    explicit DownloadSlots(int max)
        : m_max(max) {}

    void SetMax(int max) { m_max = max; }
    int Max() const { return m_max; }
    int Active() const { return m_active; }
    bool Full() const { return m_active >= m_max; }
    int Share() const { return std::max(1, m_max / ShareDivisor); }
    int HeldBy(const QByteArray& client) const { return m_held.value(client); }
    // Whether the client is still below its share.
    bool WithinShare(const QByteArray& client) const { return HeldBy(client) < Share(); }

    void Take(const QByteArray& client);
    void GiveBack(const QByteArray& client);

private:
    int m_max;
    int m_active = 0;
    QHash<QByteArray, int> m_held;
};
