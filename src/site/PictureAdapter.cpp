#include "site/PictureAdapter.h"

#include "base/PocketlaneError.h"
#include "base/StatusLog.h"
#include "http/TextCollection.h"
#include "site/PhoneDisplay.h"
#include "site/WbmpCodec.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

constexpr auto JpegType = "image/jpeg";
constexpr auto PngType = "image/png";
constexpr auto GifType = "image/gif";
// The most a WBMP header needs: two bytes and two five-byte integers.
constexpr qint64 WbmpHeaderBytes = 12;
constexpr int JpegQuality = 80;

// A descriptor that closes with its last owner, also when a conversion
// waiting for a worker is dropped.
struct OwnedFd {
    explicit OwnedFd(int descriptor)
        : fd(descriptor) {}
    ~OwnedFd() {
        if (fd >= 0)
            ::close(fd);
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    int fd;
};

bool IsWbmp(const QByteArray& type) {
    return type == PictureAdapter::WbmpType;
}

// Qt's reader and writer name for a content type; empty for WBMP, which
// this file reads and writes itself.
QByteArray QtFormat(const QByteArray& type) {
    if (type == JpegType)
        return "jpeg";
    if (type == GifType)
        return "gif";
    if (type == PngType)
        return "png";
    return {};
}

bool CanWrite(const QByteArray& type) {
    return type == JpegType || type == PngType || IsWbmp(type);
}

// The file from its start, left open for its owner.
bool OpenFromStart(QFile& file, int fd) {
    return file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) && file.seek(0);
}

std::optional<QSize> PictureSize(QFile& file, const QByteArray& type) {
    if (IsWbmp(type))
        return WbmpCodec::ReadSize(file.read(WbmpHeaderBytes));
    QImageReader reader(&file, QtFormat(type));
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    return size.isValid() ? std::optional<QSize>(size) : std::nullopt;
}

// A picture fits within its type's decoding bounds: JPEG is decoded already
// reduced, everything else whole.
bool SafeToDecode(const QSize& size, const QByteArray& type, const PictureAdapter::Limits& limits) {
    if (size.isEmpty() || size.width() > limits.maxSide || size.height() > limits.maxSide)
        return false;
    const qint64 pixels = qint64(size.width()) * size.height();
    return pixels <=
           (type == JpegType ? limits.maxReducedDecodePixels : limits.maxWholeDecodePixels);
}

// What a page's picture may fill of the screen: browsers keep a margin
// around a page, and a picture as wide as the screen would scroll sideways.
QSize PictureArea(const QSize& screen) {
    constexpr int BrowserMargins = 8;
    return (screen - QSize(BrowserMargins, BrowserMargins)).expandedTo(QSize(1, 1));
}

QSize ShrunkWithin(const QSize& size, const QSize& area) {
    if (size.width() <= area.width() && size.height() <= area.height())
        return size;
    return size.scaled(area, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

// Some WAP browsers read a WBMP's width and height as one byte each
// (a side of 128 or more comes out wrong), so WBMPs made here stay below.
constexpr QSize LargestWbmp{127, 127};

// The first type the phone can show that this adapter can write: the
// picture's own when the phone takes it, a WBMP for a black-and-white phone,
// else one the phone lists, else PNG for a web browser.
QByteArray ChosenType(const QByteArray& sourceType, const PhoneDisplay& phone) {
    if (CanWrite(sourceType) && phone.Accepts(sourceType))
        return sourceType;
    if (phone.BlackAndWhite() && phone.Accepts(PictureAdapter::WbmpType))
        return PictureAdapter::WbmpType;
    for (const QByteArray& type :
         {QByteArray(PngType), QByteArray(JpegType), QByteArray(PictureAdapter::WbmpType)}) {
        if (phone.Lists(type))
            return type;
    }
    if (phone.IsBrowser() && phone.Accepts(PngType))
        return PngType;
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

QImage ReadScaled(QFile& file, const QByteArray& sourceType, const QSize& size, qint64 maxBytes) {
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

QByteArray EncodedOnce(const QImage& image, const QByteArray& type, const QByteArray& sourceType) {
    if (IsWbmp(type)) {
        // Photos keep their shading by dithering; drawings stay crisp.
        return WbmpCodec::Encode(image, sourceType == JpegType ? WbmpCodec::OneBit::Dither
                                                               : WbmpCodec::OneBit::Threshold);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, QtFormat(type).constData(), type == JpegType ? JpegQuality : -1))
        return {};
    return bytes;
}

// The picture encoded within maxBytes: made smaller, a side by a third at a
// time, while its bytes do not fit. Empty when not even a tiny one fits.
QByteArray Encoded(QImage image, const QByteArray& type, const QByteArray& sourceType,
                   qint64 maxBytes) {
    constexpr int SmallestSide = 8;
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

} // namespace

PictureAdapter::PictureAdapter(StatusLog& log, QObject* parent)
    : PictureAdapter(log, Limits(), parent) {}

PictureAdapter::PictureAdapter(StatusLog& log, const Limits& limits, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_limits(limits)
    , m_cache(limits.cacheBytes) {
    // One core stays with the event loop.
    m_workers.setMaxThreadCount(qBound(1, QThread::idealThreadCount() - 1, 2));
}

PictureAdapter::~PictureAdapter() {
    m_workers.clear();
    m_workers.waitForDone();
}

std::optional<PictureAdapter::Target> PictureAdapter::TargetFor(int fd,
                                                                const QByteArray& sourceType,
                                                                const PhoneDisplay& phone,
                                                                bool fitToScreen) const {
    const bool typeTaken = phone.Accepts(sourceType);
    if (typeTaken && !fitToScreen)
        return std::nullopt;
    struct stat info {};
    QFile file;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > m_limits.maxFileBytes ||
        !OpenFromStart(file, fd))
        return std::nullopt;
    const std::optional<QSize> size = PictureSize(file, sourceType);
    file.seek(0); // whoever sends the original reads it from the start
    if (!size || !SafeToDecode(*size, sourceType, m_limits))
        return std::nullopt;
    const QSize largest(m_limits.maxTargetSide, m_limits.maxTargetSide);
    const QSize fitted = ShrunkWithin(*size, PictureArea(phone.Screen().boundedTo(largest)));
    if (typeTaken && fitted == *size)
        return std::nullopt;
    const QByteArray type = ChosenType(sourceType, phone);
    if (type.isEmpty())
        return std::nullopt;
    return Target{type, type == WbmpType ? ShrunkWithin(fitted, LargestWbmp) : fitted};
}

PictureAdapter::Converted PictureAdapter::ConvertNow(int fd, const QByteArray& sourceType,
                                                     const Target& target) const {
    struct stat info {};
    QFile file;
    if (::fstat(fd, &info) != 0 || info.st_size > m_limits.maxFileBytes || !OpenFromStart(file, fd))
        return {};
    // The file may have changed since its target was chosen.
    const std::optional<QSize> size = PictureSize(file, sourceType);
    if (!size || !SafeToDecode(*size, sourceType, m_limits) || !file.seek(0))
        return {};
    const QSize largest(m_limits.maxTargetSide, m_limits.maxTargetSide);
    const QImage image =
        ReadScaled(file, sourceType, ShrunkWithin(target.size, largest), m_limits.maxFileBytes);
    if (image.isNull())
        return {};
    return {target.type,
            Encoded(OnWhite(image), target.type, sourceType, m_limits.maxConvertedBytes)};
}

void PictureAdapter::Convert(int fd, const QByteArray& sourceType, const Target& target,
                             Done done) {
    auto file = std::make_shared<OwnedFd>(fd);
    const QByteArray key = cacheKey(fd, target);
    const auto answerLater = [this, done](const Converted& converted) {
        QMetaObject::invokeMethod(
            this, [this, done, converted] { deliver(done, converted); }, Qt::QueuedConnection);
    };
    if (key.isEmpty())
        return answerLater({});
    if (const Converted* cached = m_cache.object(key))
        return answerLater(*cached);
    if (m_waitingCallers >= m_limits.maxWaiting)
        return answerLater({});
    ++m_waitingCallers;
    if (auto waiting = m_waiting.find(key); waiting != m_waiting.end()) {
        waiting->push_back(std::move(done));
        return;
    }
    m_waiting.insert(key, {std::move(done)});
    m_workers.start([this, file, sourceType, target, key] {
        Converted converted;
        try {
            converted = ConvertNow(file->fd, sourceType, target);
        } catch (...) {
            // Nothing catches above a worker: the phone gets the original.
        }
        QMetaObject::invokeMethod(
            this, [this, key, converted] { finish(key, converted); }, Qt::QueuedConnection);
    });
}

// The same file, unchanged, converted for the same target.
QByteArray PictureAdapter::cacheKey(int fd, const Target& target) const {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return {};
    return QByteArray::number(quint64(info.st_dev)) + ':' +
           QByteArray::number(quint64(info.st_ino)) + ':' +
           QByteArray::number(qint64(info.st_size)) + ':' +
           QByteArray::number(qint64(info.st_mtim.tv_sec)) + '.' +
           QByteArray::number(qint64(info.st_mtim.tv_nsec)) + ':' + target.type + ':' +
           QByteArray::number(target.size.width()) + 'x' + QByteArray::number(target.size.height());
}

void PictureAdapter::finish(const QByteArray& key, const Converted& converted) {
    // A picture that could not be converted is remembered too, so that it
    // is not decoded again for every phone.
    m_cache.insert(key, new Converted(converted), qMax<qsizetype>(1, converted.bytes.size()));
    const std::vector<Done> callers = m_waiting.take(key);
    m_waitingCallers -= int(callers.size());
    for (const Done& done : callers)
        deliver(done, converted);
}

// Hands the outcome to one waiting request; a visitor who has gone meanwhile
// leaves the others theirs.
void PictureAdapter::deliver(const Done& done, const Converted& converted) {
    try {
        done(converted);
    } catch (const PocketlaneError&) {
    } catch (...) {
        m_log.LogStatus(LogError, QStringLiteral("HandleAction - ") + CurrentFailureText());
    }
}
