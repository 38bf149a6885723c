#pragma once

#include "http/DownloadSlots.h"
#include "http/RequestFraming.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

class EventPoller;
class Connection;

// What the connections of one server share: the download slots they draw
// from, who is told when a connection closes, and who drops a stalled
// download of another client when every slot is taken (true when a slot
// came free).
struct ConnectionPool {
    DownloadSlots downloads;
    std::function<void(Connection&)> onClosed;
    std::function<bool(const QByteArray& client)> freeSlotFor;
};

// One element of the server's connection array: an accepted TCP connection
// on its non-blocking descriptor, or a closed element waiting for the next
// one. Received bytes go to the request framer; answers go out at once and
// only what the system cannot take yet waits, in order, for the connection
// to drain. A file is sent from its descriptor by the system (sendfile),
// never through a buffer of ours.
class Connection {
public:
    // Received bytes held before reading stops (the rest waits in the
    // system) while earlier answers are still being sent.
    static constexpr qsizetype ReadBufferSize = qsizetype{64} * 1024;

    enum class ReadOutcome { Nothing, Arrived, PeerClosed, Failed };

    Connection(int index, EventPoller& poller, ConnectionPool& pool);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int Index() const { return m_index; }
    // Counts the connections this element has taken; a key of the poller
    // holds it, so that an event of an earlier connection is not taken for
    // the current one's.
    std::uint32_t Generation() const { return m_generation; }
    std::uint64_t PollKey() const {
        return (std::uint64_t(m_generation) << 32) | unsigned(m_index);
    }
    bool IsOpen() const { return m_fd >= 0; }
    // Open and not told to close once its answer has left.
    bool TakesRequests() const { return m_fd >= 0 && !m_closeWhenSent; }
    // Still sending an earlier answer: the next request waits.
    bool IsSending() const { return !m_queue.empty(); }
    // A request is to be answered later: the requests behind it wait until
    // that answer has been written, so that answers leave in order.
    void HoldRequests() { m_holdingRequests = true; }
    bool HoldsRequests() const { return m_holdingRequests; }
    // The held answer has been written. The waiting requests are taken from
    // the event loop, never from within the answer's call: the connection
    // asks for write readiness, which comes once nothing waits to be sent.
    void ReleaseRequests();
    qint64 BytesToWrite() const { return m_bytesToWrite; }
    quint16 LocalPort() const;
    // The client at the other end (ListeningSocket::Accepted).
    const QByteArray& ClientAddress() const { return m_client; }
    // Sending a file now.
    bool IsDownloading() const { return m_downloading > 0; }
    // Whether this client may start one more download now: below its share
    // of the slots, and a slot free or freed from a stalled download.
    bool DownloadSlotAvailable();
    QString ErrorString() const { return m_errorString; }

    // Takes over descriptor (connected, non-blocking), from the client at
    // that address. Its readiness is not watched until WatchReadiness, or
    // until it has to wait to send.
    void Open(int descriptor, const QByteArray& client);
    // Has the poller report the connection's readiness from now on; false
    // when the system refuses.
    bool WatchReadiness();
    // Reads what has arrived into the framer, up to ReadBufferSize held.
    ReadOutcome ReadWaiting();
    RequestFramer& Framer() { return m_framer; }
    // Reads nothing more (the other end has closed its side).
    void StopReading();

    // Queues bytes after everything queued before; false when closed. With
    // moreFollows the system holds them back for what follows: more bytes,
    // or the end of the connection (CloseAfterSending), which then leaves
    // with them.
    bool Write(const QByteArray& data, bool moreFollows = false);
    // Sends length bytes of fileFd from offset after everything queued
    // before; takes the descriptor over. If the file ends before length,
    // the connection closes, as the other end cannot be told otherwise.
    bool SendFile(int fileFd, qint64 offset, qint64 length);
    // Sends what waits as far as the system takes it (on write readiness).
    void SendQueued();
    // Closes once every queued byte has left.
    void CloseAfterSending();
    // Calls done once nothing waits to be sent any more or the connection
    // closes, whichever comes first.
    void WhenDrained(std::function<void()> done);
    // Ends the connection at once, dropping what waits to be sent.
    void Close();

private:
    struct Piece {
        QByteArray bytes;
        qsizetype sent = 0;
        int fileFd = -1;
        qint64 fileOffset = 0;
        qint64 fileLeft = 0;
    };

    // Sends the front pieces; false once the connection has failed or
    // closed.
    bool sendPieces();
    bool sendPiece(Piece& piece);
    void dropPiece(Piece& piece);
    void watchWrites(bool on);
    std::uint32_t watchedEvents() const;
    bool pollFor(std::uint32_t events);
    void reportDrained();
    void fail(int systemError);

    const int m_index;
    EventPoller& m_poller;
    ConnectionPool& m_pool;
    std::uint32_t m_generation = 0;
    int m_fd = -1;
    // Registered with the poller.
    bool m_polled = false;
    RequestFramer m_framer;
    std::deque<Piece> m_queue;
    qint64 m_bytesToWrite = 0;
    bool m_closeWhenSent = false;
    bool m_watchingWrites = false;
    bool m_readingPaused = false;
    bool m_holdingRequests = false;
    std::vector<std::function<void()>> m_drainWaiters;
    QString m_errorString;
    QByteArray m_client;
    int m_downloading = 0;
};
