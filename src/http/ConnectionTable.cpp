#include "http/ConnectionTable.h"

#include <chrono>

#include <unistd.h>

qint64 ConnectionTable::Now() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

ConnectionTable::ConnectionTable(EventPoller& poller, ConnectionPool& pool)
    : m_poller(poller)
    , m_pool(pool)
    , m_elements(1)
    , m_links(1) {
    m_pool.onClosed = [this](Connection& connection) { giveBack(connection); };
}

ConnectionTable::Opened ConnectionTable::Open(int descriptor, const QByteArray& client,
                                              qint64 now) {
    const int index = takeFreeElement();
    if (index == 0) {
        ::close(descriptor);
        return {OpenOutcome::NoElementFree};
    }
    Connection& connection = *m_elements[size_t(index)];
    connection.Open(descriptor, client);
    ++m_openCount;
    MarkBusy(connection, now);
    return {OpenOutcome::Opened, &connection};
}

// The lowest closed element, or a new one; 0 when the limit is reached.
int ConnectionTable::takeFreeElement() {
    if (!m_closed.empty()) {
        const int index = m_closed.top();
        m_closed.pop();
        return index;
    }
    if (HighestIndex() >= m_maxElements)
        return 0;
    const int index = HighestIndex() + 1;
    m_elements.push_back(std::make_shared<Connection>(index, m_poller, m_pool));
    m_links.emplace_back();
    return index;
}

void ConnectionTable::giveBack(const Connection& connection) {
    unlink(connection.Index());
    --m_openCount;
    m_closed.push(connection.Index());
}

qint64 ConnectionTable::BusySince(const Connection& connection) const {
    return m_links[size_t(connection.Index())].busySince;
}

void ConnectionTable::MarkBusy(const Connection& connection, qint64 now) {
    const int index = connection.Index();
    m_links[size_t(index)].busySince = now;
    if (m_newestOpen == index)
        return;
    unlink(index);
    m_links[size_t(index)].older = m_newestOpen;
    if (m_newestOpen >= 0)
        m_links[size_t(m_newestOpen)].newer = index;
    m_newestOpen = index;
    if (m_oldestOpen < 0)
        m_oldestOpen = index;
}

void ConnectionTable::unlink(int index) {
    Links& links = m_links[size_t(index)];
    const bool linked = links.older >= 0 || links.newer >= 0 || m_oldestOpen == index;
    if (!linked)
        return;
    (links.older >= 0 ? m_links[size_t(links.older)].newer : m_oldestOpen) = links.newer;
    (links.newer >= 0 ? m_links[size_t(links.newer)].older : m_newestOpen) = links.older;
    links.older = links.newer = -1;
}

void ConnectionTable::CloseIdleSince(qint64 since) {
    while (m_oldestOpen >= 0 && m_links[size_t(m_oldestOpen)].busySince <= since)
        m_elements[size_t(m_oldestOpen)]->Close();
}

void ConnectionTable::CloseAll() {
    for (size_t i = 1; i < m_elements.size(); ++i)
        m_elements[i]->Close();
}

// The list runs from the longest idle, so the search stops at the first
// connection that made progress since.
Connection*
ConnectionTable::FindIdleSince(qint64 since,
                               const std::function<bool(const Connection&)>& wanted) const {
    for (int index = m_oldestOpen; index >= 0; index = m_links[size_t(index)].newer) {
        if (m_links[size_t(index)].busySince > since)
            return nullptr;
        if (wanted(*m_elements[size_t(index)]))
            return m_elements[size_t(index)].get();
    }
    return nullptr;
}
