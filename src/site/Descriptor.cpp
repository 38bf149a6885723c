#include "site/Descriptor.h"

#include <unistd.h>

namespace FileSystem {

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.Release();
    }
    return *this;
}

Descriptor::~Descriptor() {
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace FileSystem
