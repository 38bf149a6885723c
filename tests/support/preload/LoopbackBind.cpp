// Preloaded into a helper daemon that binds a listening socket to every
// interface without a setting to narrow it (Kannel's bearerbox does so for
// its box port): a bind to the wildcard address becomes a bind to loopback,
// so nothing the tests start can be reached from beyond this machine.

#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

extern "C" int bind(int fd, const sockaddr* address, socklen_t length) {
    using BindFunction = int (*)(int, const sockaddr*, socklen_t);
    static const auto realBind = reinterpret_cast<BindFunction>(::dlsym(RTLD_NEXT, "bind"));
    sockaddr_storage narrowed{};
    if (!address || length > sizeof narrowed)
        return realBind(fd, address, length);
    std::memcpy(&narrowed, address, length);
    auto* v4 = reinterpret_cast<sockaddr_in*>(&narrowed);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&narrowed);
    if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in) &&
        v4->sin_addr.s_addr == htonl(INADDR_ANY))
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6) &&
        IN6_IS_ADDR_UNSPECIFIED(&v6->sin6_addr))
        v6->sin6_addr = in6addr_loopback;
    return realBind(fd, reinterpret_cast<const sockaddr*>(&narrowed), length);
}
