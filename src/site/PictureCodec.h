#pragma once

#include <QByteArray>
#include <QSize>

#include <optional>

class QFile;
class QImage;

// Reads and writes the picture types a phone may get: JPEG, PNG and GIF
// through Qt's readers and writers, WBMP with WbmpCodec.
class PictureCodec {
public:
    static constexpr auto JpegType = "image/jpeg";
    static constexpr auto PngType = "image/png";
    static constexpr auto GifType = "image/gif";
    static constexpr auto WbmpType = "image/vnd.wap.wbmp";

    static bool CanWrite(const QByteArray& type);

    // The picture's size from its header; none when the header is not one.
    static std::optional<QSize> Size(QFile& file, const QByteArray& type);

    // The picture decoded at the given size (JPEG already reduced while it
    // is decoded), reading at most maxBytes of a WBMP.
    static QImage ReadScaled(QFile& file, const QByteArray& sourceType, const QSize& size,
                             qint64 maxBytes);

    // The picture on white, encoded within maxBytes: made smaller, a side by
    // a third at a time, while its bytes do not fit. Empty when not even a
    // tiny one fits.
    static QByteArray Encoded(QImage image, const QByteArray& type, const QByteArray& sourceType,
                              qint64 maxBytes);
};
