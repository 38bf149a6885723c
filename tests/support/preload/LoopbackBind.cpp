// Preloaded into a helper daemon that binds a listening socket to every
// interface without a setting to narrow it (Kannel's bearerbox does so for
// its box port): a bind to the wildcard address becomes a bind to loopback,
// so nothing the tests start can be reached from beyond this machine.

#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace {
using BindFunction = int (*)(int, const sockaddr*, socklen_t);

BindFunction realBind() {
    static const auto function = reinterpret_cast<BindFunction>(::dlsym(RTLD_NEXT, "bind"));
    return function;
}

int bindIPv4(int fd, const sockaddr* address, socklen_t length) {
    sockaddr_in narrowed;
    std::memcpy(&narrowed, address, sizeof narrowed);
    if (narrowed.sin_addr.s_addr == htonl(INADDR_ANY))
        narrowed.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return realBind()(fd, reinterpret_cast<const sockaddr*>(&narrowed), length);
}

int bindIPv6(int fd, const sockaddr* address, socklen_t length) {
    sockaddr_in6 narrowed;
    std::memcpy(&narrowed, address, sizeof narrowed);
    if (std::memcmp(&narrowed.sin6_addr, &in6addr_any, sizeof(in6_addr)) == 0)
        narrowed.sin6_addr = in6addr_loopback;
    return realBind()(fd, reinterpret_cast<const sockaddr*>(&narrowed), length);
}
} // namespace

extern "C" int bind(int fd, const sockaddr* address, socklen_t length) {
    if (address && address->sa_family == AF_INET && length >= sizeof(sockaddr_in))
        return bindIPv4(fd, address, length);
    if (address && address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6))
        return bindIPv6(fd, address, length);
    return realBind()(fd, address, length);
}
