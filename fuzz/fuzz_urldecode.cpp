// URLDecode on arbitrary text, and the round trip: every byte
// percent-encoded decodes back to itself.
#include "base/PocketlaneError.h"
#include "base/basUtilities.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        if (basUtilities::URLDecode(text).size() > text.size())
            std::abort();
    } catch (const PocketlaneError&) {
        // A bad escape is a defined outcome.
    }
    if (basUtilities::URLDecode(text.toPercentEncoding()) != text)
        std::abort();
    return 0;
}
