#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QRandomGenerator>
#include <QSize>

// A JPEG photo of the given size: a colour gradient, so that shrinking it
// and reducing it to black and white both leave something to see; with
// grain, as from a small camera sensor, it hardly compresses.
inline QByteArray JpegOf(const QSize& size, bool grain = false) {
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator noise(1);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y,
                           grain ? noise.generate()
                                 : qRgb(x * 255 / size.width(), y * 255 / size.height(), 128));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "jpeg", 60);
    return bytes;
}
