#include "site/PhoneDisplay.h"

#include "http/TextCollection.h"

#include <QRegularExpression>

namespace {

// Screens beyond this are not believed; the default is used instead.
constexpr int LargestScreenSide = 4096;

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
    std::optional<QSize> screen = ScreenInProfile(headers.Value("x-wap-profile-diff"));
    if (!screen)
        screen = ParseScreenSize(headers.Value("UA-Pixels"));
    return FromAccept(headers.Value("Accept"), screen.value_or(DefaultScreen));
}

// A header sent twice arrives joined with ";", so a type may follow a
// parameter; parameters (name=value) belong to the type before them, and
// "q=0" takes that type back.
PhoneDisplay PhoneDisplay::FromAccept(const QByteArray& accept, QSize screen) {
    PhoneDisplay display;
    display.m_screen = screen.isValid() && !screen.isEmpty() ? screen : DefaultScreen;
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
    return display;
}

bool PhoneDisplay::Accepts(const QByteArray& contentType) const {
    if (m_acceptsAll || Lists(contentType))
        return true;
    const QByteArray type = contentType.toLower();
    const QByteArray anyOfFamily = type.left(type.indexOf('/') + 1) + '*';
    return m_types.contains("*/*") || m_types.contains(anyOfFamily);
}

bool PhoneDisplay::Lists(const QByteArray& contentType) const {
    return m_types.contains(contentType.toLower());
}

std::optional<QSize> PhoneDisplay::ParseScreenSize(const QByteArray& text) {
    QByteArray cleaned = text.trimmed().toLower();
    cleaned.replace('*', 'x');
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
    // <prf:ScreenSize>128x160</prf:ScreenSize>, or the same as an attribute.
    static const QRegularExpression screenSize(
        QStringLiteral("ScreenSize\\s*(?:>|=\\s*[\"'])\\s*([0-9]+\\s*[x*]\\s*[0-9]+)"));
    const QRegularExpressionMatch match = screenSize.match(QString::fromLatin1(document));
    return match.hasMatch() ? ParseScreenSize(match.captured(1).toLatin1()) : std::nullopt;
}
