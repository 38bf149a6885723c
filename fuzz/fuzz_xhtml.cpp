// A deck of arbitrary text made a browser page: the page is always
// well-formed XML, whatever the deck held.
#include "wml/XhtmlRenderer.h"

#include <QXmlStreamReader>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray deck(reinterpret_cast<const char*>(data), qsizetype(size));
    QXmlStreamReader page(XhtmlRenderer::FromWml(deck));
    while (!page.atEnd())
        page.readNext();
    if (page.hasError())
        std::abort();
    return 0;
}
