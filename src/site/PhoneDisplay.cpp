#include "site/PhoneDisplay.h"

#include "http/TextCollection.h"
#include "site/PictureCodec.h"

#include <QByteArrayView>
#include <QRegularExpression>

#include <algorithm>

namespace {

// Screens beyond this are not believed; the default is used instead.
constexpr int LargestScreenSide = 4096;
constexpr int DeepestScreenBits = 48;
constexpr QByteArrayView WbmpType = PictureCodec::WbmpType;

bool IsPictureType(const QByteArray& type) {
    return type.startsWith("image/");
}

// "1", or "1,grey" as some browsers write it.
std::optional<int> ParseDepth(const QByteArray& text) {
    bool ok = false;
    const int bits = text.split(',').constFirst().trimmed().toInt(&ok);
    return ok && bits > 0 && bits <= DeepestScreenBits ? std::optional<int>(bits) : std::nullopt;
}

// The value of a profile's attribute, which the expression captures as an
// element's text (<prf:Name>value</prf:Name>) or as an attribute
// (prf:Name="value"); empty when the profile does not give it.
QString ProfileValue(const QByteArray& document, const QRegularExpression& attribute) {
    return attribute.match(QString::fromLatin1(document)).captured(1);
}

// The screens of common phones that name neither their screen nor its depth
// in their headers, by the model a User-Agent names first
// ("Nokia6310i/1.0 (04.71)" is the model Nokia6310i).
struct KnownModel {
    const char* model; // as the User-Agent names it, compared regardless of case
    int width;
    int height;
    int bitsPerPixel;
};

// clang-format off
constexpr KnownModel KnownModels[] = {
    {"Nokia7110", 96, 65, 1},   {"Nokia6210", 96, 60, 1},    {"Nokia6250", 96, 60, 1},
    {"Nokia6310", 96, 65, 1},   {"Nokia6310i", 96, 65, 1},   {"Nokia3410", 96, 65, 1},
    {"Nokia3330", 84, 48, 1},   {"Nokia8310", 84, 48, 1},    {"Nokia5510", 84, 48, 1},
    {"Nokia3510i", 96, 65, 12}, {"Nokia6610", 128, 128, 12}, {"Nokia7210", 128, 128, 12},
    {"Nokia7650", 176, 208, 12},
    {"EricssonT68", 101, 80, 8}, {"SonyEricssonT68", 101, 80, 8},
    {"SonyEricssonT610", 128, 160, 16},
    {"SIE-S45", 101, 80, 2},    {"SIE-ME45", 101, 80, 2},    {"SIE-S55", 101, 80, 8},
    {"MOT-T720", 120, 160, 12},
    {"SHARP-TQ-GX10", 120, 160, 16},
};
// clang-format on

// The known model the User-Agent's first product token (the text before
// the first "/" or blank) names; none for a model not known.
const KnownModel* ModelOf(const QByteArray& userAgent) {
    const QByteArrayView agent = QByteArrayView(userAgent).trimmed();
    qsizetype end = 0;
    while (end < agent.size() && agent[end] != '/' && agent[end] != ' ')
        ++end;
    for (const KnownModel& known : KnownModels) {
        if (agent.first(end).compare(QByteArrayView(known.model), Qt::CaseInsensitive) == 0)
            return &known;
    }
    return nullptr;
}

bool IsZeroQuality(const QByteArray& parameter) {
    const qsizetype equals = parameter.indexOf('=');
    if (parameter.left(equals).trimmed().toLower() != "q")
        return false;
    bool ok = false;
    const double quality = parameter.mid(equals + 1).trimmed().toDouble(&ok);
    return ok && quality <= 0.0;
}

} // namespace

PhoneDisplay PhoneDisplay::FromHeaders(const TextCollection& headers) {
    const QByteArray profile = headers.Value("x-wap-profile-diff");
    const KnownModel* model = ModelOf(headers.Value("User-Agent"));
    std::optional<QSize> screen = ScreenInProfile(profile);
    for (const char* header : {"UA-Pixels", "x-up-devcap-screenpixels"}) {
        if (!screen)
            screen = ParseScreenSize(headers.Value(header));
    }
    std::optional<int> depth = DepthInProfile(profile);
    if (!depth)
        depth = ParseDepth(headers.Value("x-up-devcap-screendepth"));
    if (model) {
        screen = screen.value_or(QSize(model->width, model->height));
        depth = depth.value_or(model->bitsPerPixel);
    }
    const std::optional<int> viewport = ViewportWidth(headers);
    const bool browser = viewport || headers.Contains("Sec-Fetch-Dest");
    if (viewport)
        screen = QSize(*viewport, LargestScreenSide);
    else if (browser && !screen)
        screen = BrowserScreen;
    PhoneDisplay display =
        FromAccept(headers.Value("Accept"), screen.value_or(DefaultScreen), depth.value_or(0));
    display.m_browser |= browser;
    if (display.m_browser && !screen)
        display.m_screen = BrowserScreen;
    return display;
}

// The width of the browser's window in CSS pixels, as a client hint gives it.
std::optional<int> PhoneDisplay::ViewportWidth(const TextCollection& headers) {
    for (const char* header : {"Sec-CH-Viewport-Width", "Viewport-Width"}) {
        bool ok = false;
        const int width = headers.Value(header).trimmed().toInt(&ok);
        if (ok && width > 0 && width <= LargestScreenSide)
            return width;
    }
    return std::nullopt;
}

// A header sent twice arrives joined with ";", so a type may follow a
// parameter; parameters (name=value) belong to the type before them, and
// "q=0" takes that type back.
PhoneDisplay PhoneDisplay::FromAccept(const QByteArray& accept, QSize screen, int bitsPerPixel) {
    PhoneDisplay display;
    display.m_screen = screen.isValid() && !screen.isEmpty() ? screen : DefaultScreen;
    display.m_blackAndWhite = bitsPerPixel == 1;
    if (accept.trimmed().isEmpty()) {
        display.m_acceptsAll = true;
        return display;
    }
    for (const QByteArray& item : accept.split(',')) {
        for (const QByteArray& rawPart : item.split(';')) {
            const QByteArray part = rawPart.trimmed().toLower();
            if (part.contains('=')) {
                if (IsZeroQuality(part) && !display.m_types.isEmpty())
                    display.m_types.removeLast();
            } else if (part.contains('/')) {
                display.m_types.append(part);
            }
        }
    }
    // Types that only today's web browsers list.
    display.m_browser =
        std::any_of(display.m_types.cbegin(), display.m_types.cend(), [](const QByteArray& type) {
            return type == "image/webp" || type == "image/avif" || type == "image/svg+xml";
        });
    const auto otherPicture = [](const QByteArray& type) {
        return IsPictureType(type) && type != WbmpType;
    };
    display.m_blackAndWhite |=
        display.m_types.contains(WbmpType) &&
        std::none_of(display.m_types.cbegin(), display.m_types.cend(), otherPicture);
    return display;
}

bool PhoneDisplay::Accepts(const QByteArray& contentType) const {
    if (Lists(contentType))
        return true;
    const QByteArray type = contentType.toLower();
    if (m_blackAndWhite && IsPictureType(type) && type != WbmpType)
        return false;
    // No web browser shows a WBMP, whatever its wild cards say.
    if (m_browser && type == WbmpType)
        return false;
    if (m_acceptsAll)
        return true;
    const QByteArray anyOfFamily = type.left(type.indexOf('/') + 1) + '*';
    return m_types.contains("*/*") || m_types.contains(anyOfFamily);
}

bool PhoneDisplay::Lists(const QByteArray& contentType) const {
    return m_types.contains(contentType.toLower());
}

PhoneDisplay::PictureView PhoneDisplay::ForPicture(const QByteArray& pictureType) const {
    return {Accepts(pictureType), m_screen, convertedType(pictureType)};
}

QByteArray PhoneDisplay::convertedType(const QByteArray& pictureType) const {
    if (PictureCodec::CanWrite(pictureType) && Accepts(pictureType))
        return pictureType;
    if (m_blackAndWhite && Accepts(PictureCodec::WbmpType))
        return PictureCodec::WbmpType;
    for (const char* type :
         {PictureCodec::PngType, PictureCodec::JpegType, PictureCodec::WbmpType}) {
        if (Lists(type))
            return type;
    }
    if (m_browser && Accepts(PictureCodec::PngType))
        return PictureCodec::PngType;
    return {};
}

std::optional<QSize> PhoneDisplay::ParseScreenSize(const QByteArray& text) {
    QByteArray cleaned = text.trimmed().toLower();
    cleaned.replace('*', 'x').replace(',', 'x');
    const QList<QByteArray> sides = cleaned.split('x');
    if (sides.size() != 2)
        return std::nullopt;
    bool widthOk = false;
    bool heightOk = false;
    const int width = sides[0].trimmed().toInt(&widthOk);
    const int height = sides[1].trimmed().toInt(&heightOk);
    if (!widthOk || !heightOk || width <= 0 || height <= 0 || width > LargestScreenSide ||
        height > LargestScreenSide)
        return std::nullopt;
    return QSize(width, height);
}

std::optional<QSize> PhoneDisplay::ScreenInProfile(const QByteArray& document) {
    static const QRegularExpression screenSize(
        QStringLiteral("ScreenSize\\s*(?:>|=\\s*[\"'])\\s*([0-9]+\\s*[x*]\\s*[0-9]+)"));
    const QString value = ProfileValue(document, screenSize);
    return value.isEmpty() ? std::nullopt : ParseScreenSize(value.toLatin1());
}

std::optional<int> PhoneDisplay::DepthInProfile(const QByteArray& document) {
    static const QRegularExpression bitsPerPixel(
        QStringLiteral("BitsPerPixel\\s*(?:>|=\\s*[\"'])\\s*([0-9]+)"));
    const QString value = ProfileValue(document, bitsPerPixel);
    return value.isEmpty() ? std::nullopt : ParseDepth(value.toLatin1());
}
