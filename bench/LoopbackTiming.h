#pragma once
// Timing one request on loopback, and the summary of many, for the
// benchmarks that time the server's answers.
#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

// Whether the answer so far is whole: a deck's connection closes, a file's
// answer is complete by its Content-length.
inline bool Complete(const QByteArray& received) {
    const qsizetype headersEnd = received.indexOf("\r\n\r\n");
    const qsizetype length = received.indexOf("Content-length: ");
    return headersEnd >= 0 && length >= 0 && length < headersEnd &&
           received.size() >=
               headersEnd + 4 + received.mid(length + 16, headersEnd - length - 16).toLongLong();
}

// Connects to the port on loopback and sends the request; the socket, or -1
// on failure. A receive window > 0 is set before connecting.
inline int SendOnLoopback(quint16 port, const QByteArray& request, int receiveWindow = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && receiveWindow > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveWindow, sizeof receiveWindow);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size()) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

// Milliseconds from connecting to the whole answer; negative on failure.
// The answer's size goes to answerBytes.
inline double AskMilliseconds(quint16 port, const QByteArray& request,
                              qint64* answerBytes = nullptr) {
    const auto start = std::chrono::steady_clock::now();
    const int fd = SendOnLoopback(port, request);
    if (fd < 0)
        return -1;
    QByteArray received;
    char buffer[65536];
    ssize_t got = 0;
    while (!Complete(received) && (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        received.append(buffer, got);
    ::close(fd);
    if (answerBytes)
        *answerBytes = received.size();
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    return received.startsWith("HTTP/1.1 200") ? elapsed.count() : -1;
}

inline QByteArray Request(const QByteArray& path, const QByteArray& accept,
                          const QByteArray& moreHeaders = {}) {
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: " + accept + "\r\n" +
           moreHeaders + "\r\n";
}

struct Figures {
    double median = 0;
    double p95 = 0;
    double max = 0;
    size_t count = 0;
};

inline Figures Summary(std::vector<double> times) {
    if (times.empty())
        return {};
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 95 / 100], times.back(), times.size()};
}

} // namespace
