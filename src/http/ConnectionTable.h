#pragma once

#include "http/Connection.h"

#include <functional>
#include <memory>
#include <queue>
#include <vector>

class EventPoller;

// The server's connection elements and the list of the open ones. Element 0
// stands for the listener; elements 1 to HighestIndex() are connections,
// kept once closed and reused, the lowest closed one first. The open
// elements are linked from the longest idle to the latest busy, so that the
// idle sweep and the search for a stalled download look only at those that
// are due. Only this table edits the links.
class ConnectionTable {
public:
    // Elements are addressed with a 16-bit index.
    static constexpr int MaxElements = 32767;

    enum class OpenOutcome { Opened, NoElementFree };
    struct Opened {
        OpenOutcome outcome = OpenOutcome::NoElementFree;
        Connection* connection = nullptr; // when opened
    };

    // Tells the pool to hand every closed connection back to this table.
    ConnectionTable(EventPoller& poller, ConnectionPool& pool);
    ConnectionTable(const ConnectionTable&) = delete;
    ConnectionTable& operator=(const ConnectionTable&) = delete;

    void SetMaxElements(int count) { m_maxElements = count; }
    int MaxElementCount() const { return m_maxElements; }
    int HighestIndex() const { return int(m_elements.size()) - 1; }
    int OpenCount() const { return m_openCount; }
    // The element at index, 1 to HighestIndex().
    const std::shared_ptr<Connection>& At(int index) const { return m_elements[size_t(index)]; }

    // Monotonic milliseconds: the clock of the busy times.
    static qint64 Now();

    // Opens the descriptor (connected, non-blocking) of the client at that
    // address on a free element, busy since now. The descriptor is closed
    // when no element is free.
    Opened Open(int descriptor, const QByteArray& client, qint64 now);
    // The time (monotonic milliseconds) of the connection's last request or
    // progress in sending.
    qint64 BusySince(const Connection& connection) const;
    // Records progress now: the connection moves to the latest busy end.
    void MarkBusy(const Connection& connection, qint64 now);
    // Closes every connection that has been idle since `since` or earlier.
    void CloseIdleSince(qint64 since);
    void CloseAll();
    // The longest idle open connection that is `wanted`, among those idle
    // since `since` or earlier; nullptr when there is none.
    Connection* FindIdleSince(qint64 since,
                              const std::function<bool(const Connection&)>& wanted) const;

private:
    struct Links {
        int older = -1;
        int newer = -1;
        qint64 busySince = 0;
    };

    int takeFreeElement();
    void giveBack(const Connection& connection);
    void unlink(int index);

    EventPoller& m_poller;
    ConnectionPool& m_pool;
    int m_maxElements = MaxElements;
    std::vector<std::shared_ptr<Connection>> m_elements;
    std::vector<Links> m_links;
    // Closed elements, the lowest on top.
    std::priority_queue<int, std::vector<int>, std::greater<int>> m_closed;
    int m_oldestOpen = -1;
    int m_newestOpen = -1;
    int m_openCount = 0;
};
