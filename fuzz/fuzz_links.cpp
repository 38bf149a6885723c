// The link records behind a site's pages and the way back to them: records
// made from arbitrary fields are found again through the link a deck
// carries, once it has been parsed as the phone's next request, and
// arbitrary S, F and K values in a request find a record only by its own
// index and key.
#include "http/CPacket.h"
#include "site/SiteLinks.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

std::optional<CrackedPacket> Follow(const QByteArray& escapedLink) {
    QByteArray path = escapedLink;
    path.replace("&amp;", "&");
    CrackedPacket cracked = CPacket::CrackHTTPPacket("GET " + path + " HTTP/1.1\r\n\r\n");
    return cracked ? std::optional<CrackedPacket>(std::move(cracked)) : std::nullopt;
}

qint64 IndexIn(const CPacket& packet, const char* name) {
    bool ok = false;
    const qint64 index = packet.Variables().Value(name).toLongLong(&ok);
    return ok ? index : -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const bool passwordOn = data[0] & 1;
    // A small table, so that records are pushed out as the input goes on.
    SiteLinks links([passwordOn] { return passwordOn; }, qint64(data[1]) << 20);
    const QList<QByteArray> parts =
        QByteArray(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2)).split('\n');
    for (const QByteArray& part : parts) {
        const QList<QByteArray> f = part.split('\t');
        if (f.size() >= 6) {
            const qint16 page = qint16(f[3].toInt());
            const QByteArray link = links.MakeLink(f[0], f[1], f[2], page, f[4], f[5], {}, {});
            const auto next = Follow(link);
            Check(next.has_value());
            const CPacket& packet = *next->packet;
            const LinkState* state = links.FindLinkState(IndexIn(packet, "S"));
            Check(state && state->U == f[0] && state->D == f[1] && state->F == f[2] &&
                  state->P == page && state->M == f[4] && state->A == f[5]);
            Check(state->K == packet.Variables().Value("K") && state->K.isEmpty() != passwordOn);
        } else if (f.size() == 2) {
            const QByteArray link = links.RegisterFileLink(f[0]);
            const auto next = Follow(link);
            Check(next.has_value());
            const FileLink* file = links.FindFileLink(IndexIn(*next->packet, "F"));
            Check(file && file->path == f[0] && file->key == next->packet->Variables().Value("K"));
        } else if (const auto request = Follow("/?" + part)) {
            // A made-up request: whatever it names is a record of the table
            // or nothing, and a key it carries matches only by chance.
            const CPacket& packet = *request->packet;
            const LinkState* state = links.FindLinkState(IndexIn(packet, "S"));
            Check(!state || state->K.size() == (passwordOn ? SiteLinks::KeyCharacters : 0));
            (void)links.FindFileLink(IndexIn(packet, "F"));
        }
    }
    return 0;
}
