#pragma once

#include <QImage>
#include <QString>

// The text as a QR code a phone's camera reads: dark modules on white with
// the quiet zone of four modules around them, each module a square of
// `modulePixels` pixels, so the image stays crisp at any scale. A null image
// when the text cannot be encoded (too long, or empty).
QImage QrCodeImage(const QString& text, int modulePixels);
