#include "site/WbmpCodec.h"

namespace {

void AppendMultiByte(QByteArray& out, quint32 value) {
    char groups[5];
    int count = 0;
    do {
        groups[count++] = char(value & 0x7f);
        value >>= 7;
    } while (value != 0);
    while (count > 1)
        out.append(char(groups[--count] | 0x80));
    out.append(groups[0]);
}

// Reads one multi-byte integer at pos; none when it runs past the end or
// past what a picture dimension can hold.
std::optional<quint32> ReadMultiByte(const QByteArray& bytes, qsizetype& pos) {
    quint32 value = 0;
    for (int taken = 0; taken < 4 && pos < bytes.size(); ++taken) {
        const auto byte = quint8(bytes.at(pos++));
        value = (value << 7) | (byte & 0x7f);
        if (!(byte & 0x80))
            return value;
    }
    return std::nullopt;
}

struct Header {
    QSize size;
    qsizetype dataStart = 0;
};

std::optional<Header> ReadHeader(const QByteArray& bytes) {
    // Type 0 with a fixed header of 0: no extension headers follow.
    if (bytes.size() < 4 || bytes.at(0) != 0 || bytes.at(1) != 0)
        return std::nullopt;
    qsizetype pos = 2;
    const auto width = ReadMultiByte(bytes, pos);
    const auto height = width ? ReadMultiByte(bytes, pos) : std::nullopt;
    if (!height || *width == 0 || *height == 0 || *width > 0xffff || *height > 0xffff)
        return std::nullopt;
    return Header{QSize(int(*width), int(*height)), pos};
}

} // namespace

namespace WbmpCodec {

QByteArray Encode(const QImage& image, OneBit reduction) {
    const Qt::ImageConversionFlags flags =
        Qt::MonoOnly | (reduction == OneBit::Dither ? Qt::DiffuseDither : Qt::ThresholdDither);
    const QImage mono = image.convertToFormat(QImage::Format_Mono, flags);
    // Format_Mono keeps the leftmost pixel in the high bit, as WBMP does;
    // which of its two colours is white depends on its colour table.
    const bool setBitIsWhite = mono.colorCount() > 1 && qGray(mono.color(1)) > qGray(mono.color(0));
    QByteArray out;
    out.append('\0').append('\0');
    AppendMultiByte(out, quint32(mono.width()));
    AppendMultiByte(out, quint32(mono.height()));
    const qsizetype rowBytes = (mono.width() + 7) / 8;
    const int unusedBits = int(rowBytes * 8 - mono.width());
    const auto lastByteMask = quint8(0xff << unusedBits);
    for (int y = 0; y < mono.height(); ++y) {
        const uchar* row = mono.constScanLine(y);
        for (qsizetype x = 0; x < rowBytes; ++x) {
            quint8 byte = setBitIsWhite ? row[x] : quint8(~row[x]);
            if (x == rowBytes - 1)
                byte &= lastByteMask;
            out.append(char(byte));
        }
    }
    return out;
}

std::optional<QSize> ReadSize(const QByteArray& bytes) {
    const auto header = ReadHeader(bytes);
    return header ? std::optional<QSize>(header->size) : std::nullopt;
}

QImage Decode(const QByteArray& bytes) {
    const auto header = ReadHeader(bytes);
    if (!header)
        return {};
    const qsizetype rowBytes = (header->size.width() + 7) / 8;
    if (bytes.size() - header->dataStart < rowBytes * header->size.height())
        return {};
    QImage image(header->size, QImage::Format_Mono);
    if (image.isNull())
        return {};
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    const char* data = bytes.constData() + header->dataStart;
    for (int y = 0; y < image.height(); ++y)
        memcpy(image.scanLine(y), data + y * rowBytes, size_t(rowBytes));
    return image;
}

} // namespace WbmpCodec
