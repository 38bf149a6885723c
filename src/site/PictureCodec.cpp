#include "site/PictureCodec.h"

#include "site/WbmpCodec.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>

namespace {

// The most a WBMP header needs: two bytes and two five-byte integers.
constexpr qint64 WbmpHeaderBytes = 12;
constexpr int JpegQuality = 80;

bool IsWbmp(const QByteArray& type) {
    return type == PictureCodec::WbmpType;
}

// Qt's reader and writer name for a content type; empty for WBMP, which
// this file reads and writes itself.
QByteArray QtFormat(const QByteArray& type) {
    if (type == PictureCodec::JpegType)
        return "jpeg";
    if (type == PictureCodec::GifType)
        return "gif";
    if (type == PictureCodec::PngType)
        return "png";
    return {};
}

// Transparent parts become white, as on a phone's screen.
QImage OnWhite(const QImage& image) {
    if (!image.hasAlphaChannel())
        return image;
    QImage flat = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < flat.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(flat.scanLine(y));
        for (int x = 0; x < flat.width(); ++x) {
            const int alpha = qAlpha(row[x]);
            const auto blend = [alpha](int channel) {
                return (channel * alpha + 255 * (255 - alpha)) / 255;
            };
            row[x] = qRgb(blend(qRed(row[x])), blend(qGreen(row[x])), blend(qBlue(row[x])));
        }
    }
    return flat.convertToFormat(QImage::Format_RGB32);
}

QByteArray EncodedOnce(const QImage& image, const QByteArray& type, const QByteArray& sourceType) {
    if (IsWbmp(type)) {
        // Photos keep their shading by dithering; drawings stay crisp.
        return WbmpCodec::Encode(image, sourceType == PictureCodec::JpegType
                                            ? WbmpCodec::OneBit::Dither
                                            : WbmpCodec::OneBit::Threshold);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, QtFormat(type).constData(),
                    type == PictureCodec::JpegType ? JpegQuality : -1))
        return {};
    return bytes;
}

} // namespace

bool PictureCodec::CanWrite(const QByteArray& type) {
    return type == JpegType || type == PngType || IsWbmp(type);
}

std::optional<QSize> PictureCodec::Size(QFile& file, const QByteArray& type) {
    if (IsWbmp(type))
        return WbmpCodec::ReadSize(file.read(WbmpHeaderBytes));
    QImageReader reader(&file, QtFormat(type));
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    return size.isValid() ? std::optional<QSize>(size) : std::nullopt;
}

QImage PictureCodec::ReadScaled(QFile& file, const QByteArray& sourceType, const QSize& size,
                                qint64 maxBytes) {
    if (IsWbmp(sourceType)) {
        const QImage whole = WbmpCodec::Decode(file.read(maxBytes));
        return whole.isNull() || whole.size() == size
                   ? whole
                   : whole.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    QImageReader reader(&file, QtFormat(sourceType));
    reader.setAutoDetectImageFormat(false);
    // JPEG decodes straight to a fraction of its size here, so that a
    // camera photo is never held whole.
    reader.setScaledSize(size);
    return reader.read();
}

QByteArray PictureCodec::Encoded(QImage image, const QByteArray& type, const QByteArray& sourceType,
                                 qint64 maxBytes) {
    constexpr int SmallestSide = 8;
    image = OnWhite(image);
    for (;;) {
        QByteArray bytes = EncodedOnce(image, type, sourceType);
        if (bytes.size() <= maxBytes)
            return bytes;
        const QSize smaller = image.size() * 2 / 3;
        if (smaller.width() < SmallestSide || smaller.height() < SmallestSide)
            return {};
        image = image.scaled(smaller, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
}
