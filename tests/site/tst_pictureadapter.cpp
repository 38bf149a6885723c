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
#include <unistd.h>

using Target = PictureAdapter::Target;
using Converted = PictureAdapter::Converted;

namespace {

const QByteArray Jpeg = "image/jpeg";
const QByteArray Wbmp = PictureAdapter::WbmpType;
const QSize Screen(128, 160);

// A small JPEG whose frame header claims width x height: decoding it would
// give a picture of that size from data that is not there.
QByteArray JpegClaiming(int width, int height) {
    QByteArray bytes = JpegOf(QSize(16, 16));
    const qsizetype frame = bytes.indexOf("\xff\xc0");
    bytes[frame + 5] = char(height >> 8);
    bytes[frame + 6] = char(height & 0xff);
    bytes[frame + 7] = char(width >> 8);
    bytes[frame + 8] = char(width & 0xff);
    return bytes;
}

PhoneDisplay Phone(const QByteArray& accept) {
    return PhoneDisplay::FromAccept(accept, Screen);
}

const QByteArray ProfileDocument =
    "<rdf:Description><prf:ScreenSize>176x208</prf:ScreenSize></rdf:Description>";

} // namespace

class TestPictureAdapter : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QByteArray m_photoPath;

    QByteArray write(const QString& name, const QByteArray& bytes) {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write the test picture");
        return QFile::encodeName(file.fileName());
    }
    static int open(const QByteArray& path) {
        return ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_photoPath = write(QStringLiteral("Photo.jpg"), JpegOf(QSize(4000, 3000)));
    }

    void acceptHeaderDecidesTheTypes_data() {
        QTest::addColumn<QByteArray>("accept");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<bool>("accepts");
        QTest::addColumn<bool>("lists");
        QTest::addColumn<QByteArray>("screenHeader");
        QTest::addColumn<QSize>("screen");
        QTest::newRow("WBMP-only phone, JPEG")
            << QByteArray("text/vnd.wap.wml, image/vnd.wap.wbmp") << Jpeg << false << false
            << QByteArray() << PhoneDisplay::DefaultScreen;
        QTest::newRow("WBMP-only phone, WBMP")
            << QByteArray("text/vnd.wap.wml, image/vnd.wap.wbmp") << Wbmp << true << true
            << QByteArray() << PhoneDisplay::DefaultScreen;
        QTest::newRow("no Accept header")
            << QByteArray() << Jpeg << true << false << QByteArray() << PhoneDisplay::DefaultScreen;
        QTest::newRow("anything") << QByteArray("*/*") << Jpeg << true << false << QByteArray()
                                  << PhoneDisplay::DefaultScreen;
        QTest::newRow("any picture")
            << QByteArray("text/vnd.wap.wml, image/*;q=0.5") << Jpeg << true << false
            << QByteArray() << PhoneDisplay::DefaultScreen;
        QTest::newRow("refused with q=0")
            << QByteArray("image/jpeg;q=0, image/vnd.wap.wbmp") << Jpeg << false << false
            << QByteArray() << PhoneDisplay::DefaultScreen;
        QTest::newRow("kept with q=0.3") << QByteArray("image/jpeg;q=0.3") << Jpeg << true << true
                                         << QByteArray() << PhoneDisplay::DefaultScreen;
        QTest::newRow("two headers joined")
            << QByteArray("text/vnd.wap.wml;image/vnd.wap.wbmp") << Wbmp << true << true
            << QByteArray() << PhoneDisplay::DefaultScreen;
        QTest::newRow("letter case") << QByteArray("IMAGE/JPEG") << Jpeg << true << true
                                     << QByteArray() << PhoneDisplay::DefaultScreen;
        QTest::newRow("inline profile")
            << QByteArray("image/*") << Jpeg << true << false
            << QByteArray("x-wap-profile-diff:" + ProfileDocument) << QSize(176, 208);
        QTest::newRow("profile as attribute")
            << QByteArray("image/*") << Jpeg << true << false
            << QByteArray("x-wap-profile-diff:<d prf:ScreenSize=\"96x65\"/>") << QSize(96, 65);
        QTest::newRow("absurd profile size")
            << QByteArray("image/*") << Jpeg << true << false
            << QByteArray("x-wap-profile-diff:<prf:ScreenSize>0x0</prf:ScreenSize>")
            << PhoneDisplay::DefaultScreen;
        QTest::newRow("pixels header") << QByteArray("image/*") << Jpeg << true << false
                                       << QByteArray("UA-Pixels: 176 * 208") << QSize(176, 208);
        QTest::newRow("pixels beyond belief")
            << QByteArray("image/*") << Jpeg << true << false << QByteArray("UA-Pixels:99999x160")
            << PhoneDisplay::DefaultScreen;
        QTest::newRow("pixels not a size")
            << QByteArray("image/*") << Jpeg << true << false << QByteArray("UA-Pixels:1x2x3")
            << PhoneDisplay::DefaultScreen;
        // A profile named by address is never fetched.
        QTest::newRow("profile address") << QByteArray("image/*") << Jpeg << true << false
                                         << QByteArray("x-wap-profile:\"http://127.0.0.1:1/p.rdf\"")
                                         << PhoneDisplay::DefaultScreen;
        QTest::newRow("other family wild card") << QByteArray("audio/*") << Jpeg << false << false
                                                << QByteArray() << PhoneDisplay::DefaultScreen;
    }
    void acceptHeaderDecidesTheTypes() {
        QFETCH(QByteArray, accept);
        QFETCH(QByteArray, type);
        QFETCH(bool, accepts);
        QFETCH(bool, lists);
        QFETCH(QByteArray, screenHeader);
        QFETCH(QSize, screen);
        TextCollection headers;
        if (!accept.isEmpty())
            headers.Add("accept", accept);
        if (const qsizetype colon = screenHeader.indexOf(':'); colon > 0)
            headers.Add(screenHeader.left(colon), screenHeader.mid(colon + 1));
        const PhoneDisplay phone = PhoneDisplay::FromHeaders(headers);
        QCOMPARE(phone.Accepts(type), accepts);
        QCOMPARE(phone.Lists(type), lists);
        QCOMPARE(phone.Screen(), screen);
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
        const QImage back = WbmpCodec::Decode(wbmp);
        QCOMPARE(back.size(), image.size());
        QCOMPARE(back.convertToFormat(QImage::Format_RGB32), image);
        // Rows are padded to whole bytes.
        QCOMPARE(WbmpCodec::Encode(image.copy(0, 1, 3, 1)), QByteArray("\x00\x00\x03\x01\xe0", 5));
    }

    void brokenWbmpIsNotAPicture_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("other type") << QByteArray("\x01\x00\x08\x01\xff", 5);
        QTest::newRow("extension headers") << QByteArray("\x00\x80\x08\x01\xff", 5);
        QTest::newRow("zero width") << QByteArray("\x00\x00\x00\x01\xff", 5);
        QTest::newRow("endless integer") << QByteArray("\x00\x00\xff\xff\xff\xff\xff\x01", 8);
        QTest::newRow("rows missing") << QByteArray("\x00\x00\x08\x04\xff", 5);
    }
    void brokenWbmpIsNotAPicture() {
        QFETCH(QByteArray, bytes);
        QVERIFY(WbmpCodec::Decode(bytes).isNull());
    }

    void smallPictureNeedsNothing() {
        const QByteArray path = write(QStringLiteral("Small.jpg"), JpegOf(QSize(100, 80)));
        PictureAdapter adapter;
        const int fd = open(path);
        QVERIFY(!adapter.TargetFor(fd, Jpeg, Phone("image/jpeg"), true));
        // For a WBMP-only phone it changes type but keeps its size.
        QCOMPARE(adapter.TargetFor(fd, Jpeg, Phone("image/vnd.wap.wbmp"), true).value_or(Target()),
                 (Target{Wbmp, QSize(100, 80)}));
        // A phone listing nothing this adapter writes gets the original.
        QVERIFY(!adapter.TargetFor(fd, Jpeg, Phone("image/gif"), true));
        ::close(fd);
        // A WBMP stays below 128 pixels a side, which some browsers cannot
        // read, even where the screen has room.
        const int tall = open(write(QStringLiteral("Tall.jpg"), JpegOf(QSize(100, 150))));
        QVERIFY(!adapter.TargetFor(tall, Jpeg, Phone("image/jpeg"), true));
        QCOMPARE(
            adapter.TargetFor(tall, Jpeg, Phone("image/vnd.wap.wbmp"), true).value_or(Target()),
            (Target{Wbmp, QSize(84, 127)}));
        ::close(tall);
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
        const QByteArray path = write(QStringLiteral("Huge.jpg"), bytes);
        PictureAdapter::Limits limits;
        limits.maxFileBytes = maxFileBytes;
        PictureAdapter adapter(limits);
        const int fd = open(path);
        QVERIFY(!adapter.TargetFor(fd, Jpeg, Phone("image/vnd.wap.wbmp"), true));
        // Even when asked directly it is not decoded: decoding would have
        // made a picture of the missing data.
        QVERIFY(!adapter.ConvertNow(fd, Jpeg, Target{Wbmp, Screen}));
        ::close(fd);
    }

    void conversionsAreSharedAndKept() {
        PictureAdapter adapter;
        const Target target{Wbmp, QSize(120, 90)};
        std::vector<Converted> results;
        for (int phone = 0; phone < 3; ++phone) {
            adapter.Convert(
                open(m_photoPath), Jpeg, target,
                [&results](const Converted& converted) { results.push_back(converted); });
        }
        // Three phones at once wait for one conversion, answered later.
        QCOMPARE(adapter.Running(), 1);
        QVERIFY(results.empty());
        QTRY_COMPARE_WITH_TIMEOUT(results.size(), size_t(3), 60000);
        QVERIFY(results[0] && results[0].bytes == results[1].bytes &&
                results[1].bytes == results[2].bytes);
        // The next phone gets the kept result without another conversion.
        adapter.Convert(open(m_photoPath), Jpeg, target,
                        [&results](const Converted& converted) { results.push_back(converted); });
        QCOMPARE(adapter.Running(), 0);
        QCOMPARE(results.size(), size_t(3));
        QTRY_COMPARE(results.size(), size_t(4));
        QCOMPARE(results[3].bytes, results[0].bytes);
    }

    void conversionsBeyondTheWaitingBoundAreRefused() {
        PictureAdapter::Limits limits;
        limits.maxWaiting = 1;
        PictureAdapter adapter(limits);
        std::vector<Converted> results;
        const auto keep = [&results](const Converted& converted) { results.push_back(converted); };
        adapter.Convert(open(m_photoPath), Jpeg, Target{Wbmp, QSize(120, 90)}, keep);
        adapter.Convert(open(m_photoPath), Jpeg, Target{Wbmp, QSize(64, 48)}, keep);
        QTRY_COMPARE_WITH_TIMEOUT(results.size(), size_t(2), 60000);
        // The refused one answers first, with nothing: the original is sent.
        QVERIFY(!results[0]);
        QVERIFY(results[1]);
    }
};

QTEST_GUILESS_MAIN(TestPictureAdapter)
#include "tst_pictureadapter.moc"
