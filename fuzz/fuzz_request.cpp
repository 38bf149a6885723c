// Request framing and CrackHTTPPacket on arbitrary bytes, arriving in
// pieces: whatever a phone sends, framing and parsing end with a request or
// a reason, never a crash, and every answer built for a parsed request is
// framed as announced.
#include "http/CPacket.h"
#include "http/RequestFraming.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void CheckRequest(const QByteArray& request) {
    Check(request.size() <= RequestFramer::MaxRequestHeaderBytes);
    Check(request.endsWith("\r\n\r\n"));
    const CrackedPacket cracked = CPacket::CrackHTTPPacket(request);
    Check(bool(cracked) == cracked.failure.isEmpty());
    if (!cracked)
        return;
    const CPacket& packet = *cracked.packet;
    const QByteArray deck = packet.Root().left(64);
    const QByteArray answer = HttpAnswer::Page(deck, HttpOk, "Thu, 01 Jan 1970 00:00:00 GMT ",
                                               packet.ResponseFraming(), {}, !packet.IsHead());
    Check(answer.contains(deck) || packet.IsHead() || deck.isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte sets the size of the pieces the bytes arrive in.
    const qsizetype step = 1 + data[0] % 64;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const qsizetype length = qsizetype(size - 1);
    RequestFramer framer;
    for (qsizetype at = 0; at < length; at += step) {
        framer.Append(bytes + at, std::min(step, length - at));
        for (;;) {
            RequestFramer::Frame frame = framer.Next();
            if (frame.outcome == RequestFramer::Outcome::Incomplete)
                break;
            if (frame.outcome == RequestFramer::Outcome::TooLarge)
                return 0;
            CheckRequest(frame.request);
        }
        Check(framer.Buffered() <= RequestFramer::MaxRequestHeaderBytes + step);
    }
    // The whole text at once, as CrackHTTPPacket's own input.
    const CrackedPacket whole = CPacket::CrackHTTPPacket(QByteArray(bytes, length));
    Check(bool(whole) == whole.failure.isEmpty());
    return 0;
}
