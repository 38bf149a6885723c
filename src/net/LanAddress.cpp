#include "net/LanAddress.h"

#include <QStringList>

#include <array>
#include <optional>

namespace {

// The address as a 32-bit number when the text is strictly dotted decimal.
std::optional<quint32> ParseDottedIPv4(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    quint32 address = 0;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.startsWith(u'0')))
            return std::nullopt;
        for (QChar c : part)
            if (c < u'0' || c > u'9')
                return std::nullopt;
        const uint value = part.toUInt();
        if (value > 255)
            return std::nullopt;
        address = (address << 8) | value;
    }
    return address;
}

struct Block {
    quint32 network;
    int prefixLength;
    bool contains(quint32 address) const {
        const quint32 mask = prefixLength == 0 ? 0 : ~quint32(0) << (32 - prefixLength);
        return (address & mask) == network;
    }
};

// Ranges that never name a host on the public internet.
constexpr std::array<Block, 9> NonPublicBlocks{{
    {0x00000000, 8},  // "this network"
    {0x0A000000, 8},  // private
    {0x64400000, 10}, // shared (carrier-grade NAT)
    {0x7F000000, 8},  // loopback
    {0xA9FE0000, 16}, // link-local
    {0xAC100000, 12}, // private
    {0xC0A80000, 16}, // private
    {0xE0000000, 4},  // multicast
    {0xF0000000, 4},  // reserved and broadcast
}};

} // namespace

bool IsRunningOnLan(const QString& localIP) {
    return localIP.left(7) == QLatin1String("192.168") || localIP.left(3) == QLatin1String("10.") ||
           localIP.left(4) == QLatin1String("172.");
}

bool IsPublicIPv4Address(const QString& text) {
    const std::optional<quint32> address = ParseDottedIPv4(text);
    if (!address)
        return false;
    for (const Block& block : NonPublicBlocks)
        if (block.contains(*address))
            return false;
    return true;
}
