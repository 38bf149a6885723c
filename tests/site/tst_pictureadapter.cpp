#include "base/StatusLog.h"
#include "http/TextCollection.h"
#include "site/PhoneDisplay.h"
#include "site/PictureAdapter.h"
#include "site/WbmpCodec.h"
#include "support/TestPictures.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Target = PictureAdapter::Target;

namespace {
const QByteArray Jpeg = "image/jpeg";
const QByteArray Wbmp = PictureAdapter::WbmpType;
const QSize Screen(128, 160);

// A small JPEG whose frame header claims width x height: decoding it would
// give a picture of that size from data that is not there.
QByteArray JpegClaiming(int width, int height) {
    QByteArray bytes = JpegOf(QSize(16, 16));
    const qsizetype frame = bytes.indexOf("\xff\xc0");
    for (const int at : {5, 6, 7, 8})
        bytes[frame + at] = char((at < 7 ? height : width) >> (at % 2 ? 8 : 0));
    return bytes;
}

constexpr const char* ChromeImages =
    "image/avif,image/webp,image/apng,image/svg+xml,image/*,*/*;q=0.8";

// What a phone that sends the Accept header makes of a picture of the type.
PhoneDisplay::PictureView Phone(const QByteArray& accept, const QByteArray& type) {
    return PhoneDisplay::FromAccept(accept, Screen).ForPicture(type);
}

// What a phone's headers say it takes and how large its screen is.
struct Headers {
    const char* accept;
    QByteArray type;
    bool accepts, lists;
    const char* screenHeader; // "name:value" lines
    QSize screen = PhoneDisplay::DefaultScreen;
};
} // namespace
Q_DECLARE_METATYPE(Headers)

class TestPictureAdapter : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    StatusLog m_log;

    QByteArray write(const QString& name, const QByteArray& bytes) {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write the test picture");
        return QFile::encodeName(file.fileName());
    }
    static int open(const QByteArray& path) {
        return ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    }
    const QByteArray m_photoPath = write(QStringLiteral("Photo.jpg"), JpegOf(QSize(4000, 3000)));

private Q_SLOTS:

    void acceptHeaderDecidesTheTypes_data() {
        QTest::addColumn<Headers>("headers");
        const char* wbmpOnly = "text/vnd.wap.wml, image/vnd.wap.wbmp";
        // clang-format off
        const Headers rows[] = {
            {wbmpOnly, Jpeg, false, false, ""},
            {wbmpOnly, Wbmp, true, true, ""},
            {"", Jpeg, true, false, ""}, // no Accept header
            {"*/*", Jpeg, true, false, ""},
            {"text/vnd.wap.wml, image/*;q=0.5", Jpeg, true, false, ""},
            {"image/jpeg;q=0, image/vnd.wap.wbmp", Jpeg, false, false, ""},
            {"image/jpeg;q=0.3", Jpeg, true, true, ""},
            {"text/vnd.wap.wml;image/vnd.wap.wbmp", Wbmp, true, true, ""}, // two headers joined
            {"IMAGE/JPEG", Jpeg, true, true, ""},
            {"audio/*", Jpeg, false, false, ""},
            {"image/*", Jpeg, true, false, "x-wap-profile-diff:<rdf:Description><prf:ScreenSize>176x208</prf:ScreenSize></rdf:Description>", {176, 208}},
            {"image/*", Jpeg, true, false, "x-wap-profile-diff:<d prf:ScreenSize=\"96x65\"/>", {96, 65}},
            {"image/*", Jpeg, true, false, "x-wap-profile-diff:<prf:ScreenSize>0x0</prf:ScreenSize>"},
            {"image/*", Jpeg, true, false, "UA-Pixels: 176 * 208", {176, 208}},
            {"image/*", Jpeg, true, false, "UA-Pixels:99999x160"},
            {"image/*", Jpeg, true, false, "UA-Pixels:1x2x3"},
            // A profile named by address is never fetched.
            {"image/*", Jpeg, true, false, "x-wap-profile:\"http://127.0.0.1:1/p.rdf\""},
            // A gateway's */* does not make a black-and-white phone take colour.
            {"image/vnd.wap.wbmp, */*", Jpeg, false, false, ""},
            {"image/vnd.wap.wbmp, */*", Wbmp, true, true, ""},
            {"image/vnd.wap.wbmp, image/*, */*", Jpeg, true, false, ""},
            {"*/*", Jpeg, false, false, "x-up-devcap-screenpixels:96,65\nx-up-devcap-screendepth:1", {96, 65}},
            {"*/*", Jpeg, false, false, "x-wap-profile-diff:<prf:BitsPerPixel>1</prf:BitsPerPixel>"},
            {"image/jpeg, */*", Jpeg, true, true, "x-up-devcap-screendepth:1"},
            {"", Jpeg, false, false, "User-Agent:Nokia6310i/1.0 (04.71) Profile/MIDP-1.0", {96, 65}},
            // Web browsers show no WBMP and get pictures as wide as their window.
            {ChromeImages, Wbmp, false, false, "", PhoneDisplay::BrowserScreen},
            {ChromeImages, Jpeg, true, false, "Sec-CH-Viewport-Width: 390", {390, 4096}},
            {"*/*", Wbmp, false, false, "Sec-Fetch-Dest: image\nViewport-Width: 0", PhoneDisplay::BrowserScreen},
            {"*/*", Wbmp, true, false, "Viewport-Width: 99999"},
            {"*/*", Jpeg, false, false, "User-Agent:nokia7110/1.0\nUA-Pixels:90x60", {90, 60}},
            {"*/*", Jpeg, true, false, "User-Agent:SonyEricssonT68/R201A", {101, 80}},
            {"*/*", Jpeg, true, false, "User-Agent:Nokia6310ix/1.0"}};
        // clang-format on
        for (const Headers& row : rows)
            QTest::addRow("%s %s %.30s", row.accept, row.type.constData(), row.screenHeader) << row;
    }
    void acceptHeaderDecidesTheTypes() {
        QFETCH(Headers, headers);
        TextCollection fields;
        if (*headers.accept)
            fields.Add("accept", headers.accept);
        for (const QByteArray& line : QByteArray(headers.screenHeader).split('\n')) {
            if (line.contains(':'))
                fields.Add(line.left(line.indexOf(':')), line.mid(line.indexOf(':') + 1));
        }
        const PhoneDisplay phone = PhoneDisplay::FromHeaders(fields);
        QCOMPARE(phone.Accepts(headers.type), headers.accepts);
        QCOMPARE(phone.Lists(headers.type), headers.lists);
        QCOMPARE(phone.Screen(), headers.screen);
    }

    void wbmpHasItsHeaderAndWhiteAsSetBits() {
        QImage image(200, 2, QImage::Format_RGB32);
        image.fill(Qt::white);
        image.setPixel(0, 0, qRgb(0, 0, 0));
        image.setPixel(199, 1, qRgb(0, 0, 0));
        const QByteArray wbmp = WbmpCodec::Encode(image, WbmpCodec::OneBit::Threshold);
        // 200 = 1 * 128 + 72: two bytes, the first with its continuation bit.
        QCOMPARE(wbmp.left(5), QByteArray("\x00\x00\x81\x48\x02", 5));
        QCOMPARE(wbmp.size(), 5 + 2 * 25);
        QCOMPARE(quint8(wbmp.at(5)), quint8(0x7f));
        QCOMPARE(quint8(wbmp.at(5 + 24)), quint8(0xff));
        QCOMPARE(quint8(wbmp.at(5 + 25 + 24)), quint8(0xfe));
        QCOMPARE(WbmpCodec::Decode(wbmp).convertToFormat(QImage::Format_RGB32), image);
        // Rows are padded to whole bytes.
        QCOMPARE(WbmpCodec::Encode(image.copy(0, 1, 3, 1)), QByteArray("\x00\x00\x03\x01\xe0", 5));
        // Empty, another type, extension headers, zero width, an endless
        // integer, rows missing: none is a picture.
        for (const QByteArray& broken :
             {QByteArray(), QByteArray("\x01\x00\x08\x01\xff", 5),
              QByteArray("\x00\x80\x08\x01\xff", 5), QByteArray("\x00\x00\x00\x01\xff", 5),
              QByteArray("\x00\x00\xff\xff\xff\xff\xff\x01", 8),
              QByteArray("\x00\x00\x08\x04\xff", 5)})
            QVERIFY2(WbmpCodec::Decode(broken).isNull(), broken.toHex().constData());
    }

    void smallPictureNeedsNothing() {
        PictureAdapter adapter(m_log);
        const int fd = open(write(QStringLiteral("Small.jpg"), JpegOf(QSize(100, 80))));
        QVERIFY(!adapter.TargetFor(fd, Jpeg, Phone("image/jpeg", Jpeg), true));
        // For a WBMP-only phone it changes type but keeps its size.
        QCOMPARE(
            adapter.TargetFor(fd, Jpeg, Phone("image/vnd.wap.wbmp", Jpeg), true).value_or(Target()),
            (Target{Wbmp, QSize(100, 80)}));
        // A phone listing nothing this adapter writes gets the original.
        QVERIFY(!adapter.TargetFor(fd, Jpeg, Phone("image/gif", Jpeg), true));
        ::close(fd);
        // A WBMP stays below 128 pixels a side, which some browsers cannot
        // read, even where the screen has room.
        const int tall = open(write(QStringLiteral("Tall.jpg"), JpegOf(QSize(100, 150))));
        QVERIFY(!adapter.TargetFor(tall, Jpeg, Phone("image/jpeg", Jpeg), true));
        QCOMPARE(adapter.TargetFor(tall, Jpeg, Phone("image/vnd.wap.wbmp", Jpeg), true)
                     .value_or(Target()),
                 (Target{Wbmp, QSize(84, 127)}));
        ::close(tall);
        // A browser gets a WBMP as a PNG, though it lists no PNG.
        QImage logo(64, 32, QImage::Format_RGB32);
        logo.fill(Qt::white);
        const int wbmp = open(write(QStringLiteral("Logo.wbmp"),
                                    WbmpCodec::Encode(logo, WbmpCodec::OneBit::Threshold)));
        QCOMPARE(adapter.TargetFor(wbmp, Wbmp, Phone(ChromeImages, Wbmp), true).value_or(Target()),
                 (Target{"image/png", QSize(64, 32)}));
        ::close(wbmp);
    }

    void pictureTooLargeToDecodeIsSentAsItIs_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("maxFileBytes");
        QTest::newRow("too many pixels") << JpegClaiming(30000, 30000) << qint64(16 << 20);
        QTest::newRow("too wide") << JpegClaiming(60000, 10) << qint64(16 << 20);
        QTest::newRow("too many bytes") << JpegOf(QSize(400, 300)) << qint64(1000);
        QTest::newRow("not a picture") << QByteArray("not a picture at all") << qint64(16 << 20);
    }
    void pictureTooLargeToDecodeIsSentAsItIs() {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, maxFileBytes);
        PictureAdapter::Limits limits;
        limits.maxFileBytes = maxFileBytes;
        PictureAdapter adapter(m_log, limits);
        const int fd = open(write(QStringLiteral("Huge.jpg"), bytes));
        QVERIFY(!adapter.TargetFor(fd, Jpeg, Phone("image/vnd.wap.wbmp", Jpeg), true));
        // Even when asked directly it is not decoded: decoding would have
        // made a picture of the missing data.
        QVERIFY(!adapter.ConvertNow(fd, Jpeg, Target{Wbmp, Screen}));
        ::close(fd);
    }

    void conversionsAreSharedAndKept() {
        PictureAdapter adapter(m_log);
        const Target target{Wbmp, QSize(120, 90)};
        std::vector<PictureAdapter::Converted> results;
        const auto keep = [&results](const auto& converted) { results.push_back(converted); };
        for (int phone = 0; phone < 3; ++phone)
            adapter.Convert(open(m_photoPath), Jpeg, target, keep);
        // A page that fails on the answer is logged and leaves the others theirs.
        adapter.Convert(open(m_photoPath), Jpeg, target,
                        [](const auto&) { throw std::runtime_error("no deck"); });
        // Three phones at once wait for one conversion, answered later.
        QCOMPARE(adapter.Running(), 1);
        QVERIFY(results.empty());
        QTRY_COMPARE_WITH_TIMEOUT(results.size(), size_t(3), 60000);
        // One result, its bytes shared rather than copied for each phone.
        QVERIFY(results[0] && results[0].bytes.constData() == results[1].bytes.constData() &&
                results[1].bytes.constData() == results[2].bytes.constData());
        QCOMPARE(m_log.lines().size(), 1);
        QCOMPARE(m_log.lines().first().message, u"HandleAction - no deck"_s);
        // The next phone gets the kept result without another conversion.
        adapter.Convert(open(m_photoPath), Jpeg, target, keep);
        QCOMPARE(adapter.Running(), 0);
        QCOMPARE(results.size(), size_t(3));
        QTRY_COMPARE(results.size(), size_t(4));
        QCOMPARE(results[3].bytes, results[0].bytes);
        // Beyond the waiting bound a conversion is refused; the refused one
        // answers first, with nothing: the original is sent.
        PictureAdapter::Limits limits;
        limits.maxWaiting = 1;
        PictureAdapter bounded(m_log, limits);
        results.clear();
        bounded.Convert(open(m_photoPath), Jpeg, Target{Wbmp, QSize(120, 90)}, keep);
        bounded.Convert(open(m_photoPath), Jpeg, Target{Wbmp, QSize(64, 48)}, keep);
        QTRY_COMPARE_WITH_TIMEOUT(results.size(), size_t(2), 60000);
        QVERIFY(!results[0] && results[1]);
    }
};

QTEST_GUILESS_MAIN(TestPictureAdapter)
#include "tst_pictureadapter.moc"
