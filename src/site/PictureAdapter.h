#pragma once

#include "site/PhoneDisplay.h"
#include "site/PictureCodec.h"

#include <QByteArray>
#include <QCache>
#include <QHash>
#include <QObject>
#include <QSize>
#include <QThreadPool>

#include <functional>
#include <optional>
#include <vector>

class StatusLog;

// Turns a picture into one a phone can show: another type when the phone
// does not take the picture's own, and smaller when it is larger than the
// phone's screen. Conversions run on worker threads, never on the event
// loop, and their results are kept, within a memory bound, for the next
// phone that asks; every request for one result shares its bytes. A
// picture too large to decode safely is never decoded. Whatever size a phone
// names, a converted picture stays within a side and a byte bound. A
// request whose answer fails other than by its visitor's leaving is logged
// at level 1 and leaves the other requests theirs.
class PictureAdapter : public QObject {
    Q_OBJECT
public:
    static constexpr auto WbmpType = PictureCodec::WbmpType;

    struct Limits {
        qint64 maxFileBytes = 16 << 20;
        int maxSide = 16384;
        // JPEG is decoded already reduced (to an eighth at most), other
        // types whole; each has its own bound on the picture's pixels. A
        // progressive JPEG still holds its coefficients whole: about three
        // bytes a pixel.
        qint64 maxReducedDecodePixels = 25'000'000;
        qint64 maxWholeDecodePixels = 8'000'000;
        // No phone screen uses more: a larger screen is taken as this one,
        // and a result is made smaller until its bytes fit.
        int maxTargetSide = 1024;
        qint64 maxConvertedBytes = 512 << 10;
        qint64 cacheBytes = 8 << 20;
        // Requests waiting for conversions beyond this are answered with
        // the original at once.
        int maxWaiting = 64;
    };

    // What a picture becomes for one phone.
    struct Target {
        QByteArray type;
        QSize size;
        bool operator==(const Target&) const = default;
    };

    // The outcome of a conversion: the new picture's bytes and type, or
    // nothing, and the original is sent instead.
    struct Converted {
        QByteArray type;
        QByteArray bytes;
        explicit operator bool() const { return !bytes.isEmpty(); }
    };
    using Done = std::function<void(const Converted&)>;

    explicit PictureAdapter(StatusLog& log, QObject* parent = nullptr);
    PictureAdapter(StatusLog& log, const Limits& limits, QObject* parent = nullptr);
    ~PictureAdapter() override;

    // What the picture in the open file fd (of content type sourceType)
    // must become for a phone that sees it as `phone` says; none when the
    // original suits it, or when it cannot or may not be decoded. fitToScreen also shrinks a
    // picture the phone takes as it is, but that is larger than its screen (less a browser's
    // margins). Reads only the picture's header.
    std::optional<Target> TargetFor(int fd, const QByteArray& sourceType,
                                    const PhoneDisplay::PictureView& phone, bool fitToScreen) const;

    // Converts the picture in fd (which is taken over) and calls done on
    // this object's thread, later, never from within this call.
    void Convert(int fd, const QByteArray& sourceType, const Target& target, Done done);

    // The conversion itself, on the calling thread.
    Converted ConvertNow(int fd, const QByteArray& sourceType, const Target& target) const;

    const Limits& CurrentLimits() const { return m_limits; }
    // Conversions started or waiting.
    int Running() const { return int(m_waiting.size()); }

private:
    QByteArray cacheKey(int fd, const Target& target) const;
    void finish(const QByteArray& key, const Converted& converted);
    void deliver(const Done& done, const Converted& converted);

    StatusLog& m_log;
    Limits m_limits;
    QCache<QByteArray, Converted> m_cache;
    // Callers waiting for a conversion under way, by its cache key.
    QHash<QByteArray, std::vector<Done>> m_waiting;
    int m_waitingCallers = 0;
    QThreadPool m_workers;
};
