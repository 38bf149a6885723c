#include "site/PictureAdapter.h"

#include "base/PocketlaneError.h"
#include "base/StatusLog.h"
#include "site/PictureCodec.h"

#include <QFile>
#include <QImage>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

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

// The file from its start, left open for its owner.
bool OpenFromStart(QFile& file, int fd) {
    return file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) && file.seek(0);
}

// A picture fits within its type's decoding bounds: JPEG is decoded already
// reduced, everything else whole.
bool SafeToDecode(const QSize& size, const QByteArray& type, const PictureAdapter::Limits& limits) {
    if (size.isEmpty() || size.width() > limits.maxSide || size.height() > limits.maxSide)
        return false;
    const qint64 pixels = qint64(size.width()) * size.height();
    return pixels <= (type == PictureCodec::JpegType ? limits.maxReducedDecodePixels
                                                     : limits.maxWholeDecodePixels);
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

std::optional<PictureAdapter::Target>
PictureAdapter::TargetFor(int fd, const QByteArray& sourceType,
                          const PhoneDisplay::PictureView& phone, bool fitToScreen) const {
    if (phone.shownAsIs && !fitToScreen)
        return std::nullopt;
    struct stat info {};
    QFile file;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > m_limits.maxFileBytes ||
        !OpenFromStart(file, fd))
        return std::nullopt;
    const std::optional<QSize> size = PictureCodec::Size(file, sourceType);
    file.seek(0); // whoever sends the original reads it from the start
    if (!size || !SafeToDecode(*size, sourceType, m_limits))
        return std::nullopt;
    const QSize largest(m_limits.maxTargetSide, m_limits.maxTargetSide);
    const QSize fitted = ShrunkWithin(*size, PictureArea(phone.screen.boundedTo(largest)));
    if ((phone.shownAsIs && fitted == *size) || phone.convertedType.isEmpty())
        return std::nullopt;
    const QByteArray& type = phone.convertedType;
    return Target{type, type == WbmpType ? ShrunkWithin(fitted, LargestWbmp) : fitted};
}

PictureAdapter::Converted PictureAdapter::ConvertNow(int fd, const QByteArray& sourceType,
                                                     const Target& target) const {
    struct stat info {};
    QFile file;
    if (::fstat(fd, &info) != 0 || info.st_size > m_limits.maxFileBytes || !OpenFromStart(file, fd))
        return {};
    // The file may have changed since its target was chosen.
    const std::optional<QSize> size = PictureCodec::Size(file, sourceType);
    if (!size || !SafeToDecode(*size, sourceType, m_limits) || !file.seek(0))
        return {};
    const QSize largest(m_limits.maxTargetSide, m_limits.maxTargetSide);
    const QImage image = PictureCodec::ReadScaled(
        file, sourceType, ShrunkWithin(target.size, largest), m_limits.maxFileBytes);
    if (image.isNull())
        return {};
    return {target.type,
            PictureCodec::Encoded(image, target.type, sourceType, m_limits.maxConvertedBytes)};
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
