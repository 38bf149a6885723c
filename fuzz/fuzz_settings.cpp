// The settings file's reader and writer: whatever text the reader accepts,
// the writer writes it out as a text that the reader reads back to the very
// same keys and values, and writing that again changes nothing. Key paths,
// value names and texts read from the input are also written back on their
// own, so that every byte reaches the writer.

#include "settings/RegistryText.h"

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

void requireRoundTrip(const QList<RegistryKeys::Key>& keys) {
    const QByteArray text = RegistryText::serialize(keys);
    const auto again = RegistryText::parse(text, nullptr);
    require(again.has_value() && again->keys() == keys);
    require(RegistryText::serialize(again->keys()) == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto keys = RegistryText::parse(input, nullptr))
        requireRoundTrip(keys->keys());
    // The raw input as a key path (with its parent keys, as the store makes
    // them), a value name and a text.
    if (!input.isEmpty()) {
        RegistryKeys raw;
        raw.setValue(raw.ensure(input), {input, input, size % 2 == 0});
        requireRoundTrip(raw.keys());
    }
    return 0;
}
