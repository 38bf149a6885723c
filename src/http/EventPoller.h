#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

class QSocketNotifier;

// Readiness of many descriptors through one epoll descriptor, which the
// event loop watches with a single notifier: the loop's own poll then looks
// at one descriptor however many connections are open, so that idle
// connections cost nothing per event. Each registered descriptor carries a
// key of the owner's choosing; ready keys go to the dispatch function.
class EventPoller : public QObject {
public:
    using Dispatch = std::function<void(std::uint64_t key, std::uint32_t events)>;

    explicit EventPoller(Dispatch dispatch, QObject* parent = nullptr);
    ~EventPoller() override;

    // events: EPOLLIN and/or EPOLLOUT (level-triggered). False when the
    // system refuses (the descriptor is then not watched).
    bool Watch(int fd, std::uint64_t key, std::uint32_t events);
    bool Change(int fd, std::uint64_t key, std::uint32_t events);
    // Closing a descriptor also ends its watch; this is for one that stays open.
    void Forget(int fd);

private:
    void dispatchReadyDescriptors();

    Dispatch m_dispatch;
    int m_epoll = -1;
    QSocketNotifier* m_notifier = nullptr;
};
