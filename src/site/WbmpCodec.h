#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <optional>

// Wireless bitmaps (type 0): a zero type and fixed-header byte, width and
// height as multi-byte integers (seven bits a byte, high bits first), then
// the rows, each padded to whole bytes, with a set bit for white.
namespace WbmpCodec {

// The picture reduced to black and white. Dithered pictures keep the shading
// of photos; thresholded ones keep line drawings crisp.
enum class OneBit { Dither, Threshold };
QByteArray Encode(const QImage& image, OneBit reduction = OneBit::Dither);

// The width and height a WBMP header announces; none for anything but a
// type 0 header.
std::optional<QSize> ReadSize(const QByteArray& bytes);
// The whole picture, or a null image when the bytes are not a complete
// type 0 WBMP.
QImage Decode(const QByteArray& bytes);

} // namespace WbmpCodec
