#include "http/EventPoller.h"

#include <QSocketNotifier>

#include <sys/epoll.h>
#include <unistd.h>

namespace {
// Ready descriptors taken per wake-up; more stay ready for the next one.
constexpr int ReadyBatch = 128;
} // namespace

EventPoller::EventPoller(Dispatch dispatch, QObject* parent)
    : QObject(parent)
    , m_dispatch(std::move(dispatch))
    , m_epoll(::epoll_create1(EPOLL_CLOEXEC)) {
    if (m_epoll < 0)
        qFatal("epoll_create1 failed");
    m_notifier = new QSocketNotifier(m_epoll, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &EventPoller::dispatchReadyDescriptors);
}

EventPoller::~EventPoller() {
    delete m_notifier;
    ::close(m_epoll);
}

bool EventPoller::Watch(int fd, std::uint64_t key, std::uint32_t events) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = key;
    return ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) == 0;
}

bool EventPoller::Change(int fd, std::uint64_t key, std::uint32_t events) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = key;
    return ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event) == 0;
}

void EventPoller::Forget(int fd) {
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
}

// The keys of a batch are dispatched in turn; a handler that closes another
// descriptor of the same batch leaves a stale key behind, which the owner
// recognises (keys carry a generation) and ignores.
void EventPoller::dispatchReadyDescriptors() {
    epoll_event ready[ReadyBatch];
    const int count = ::epoll_wait(m_epoll, ready, ReadyBatch, 0);
    for (int i = 0; i < count; ++i)
        m_dispatch(ready[i].data.u64, ready[i].events);
}
