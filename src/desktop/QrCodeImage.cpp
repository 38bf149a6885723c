#include "desktop/QrCodeImage.h"

#include <QPainter>

#include <memory>

#include <qrencode.h>

namespace {

// The margin that readers need to find the code.
constexpr int QuietZoneModules = 4;

using Code = std::unique_ptr<QRcode, decltype(&QRcode_free)>;

Code Encode(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    // Medium error correction: a code on a screen is seldom soiled, and a
    // smaller code reads from further away.
    return Code(QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
}

} // namespace

QImage QrCodeImage(const QString& text, int modulePixels) {
    if (text.isEmpty() || modulePixels < 1)
        return {};
    const Code code = Encode(text);
    if (!code)
        return {};
    const int side = (code->width + 2 * QuietZoneModules) * modulePixels;
    QImage image(side, side, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            // The lowest bit of each module tells dark (1) or light (0).
            if (code->data[y * code->width + x] & 1)
                painter.fillRect((x + QuietZoneModules) * modulePixels,
                                 (y + QuietZoneModules) * modulePixels, modulePixels, modulePixels,
                                 Qt::black);
    return image;
}
