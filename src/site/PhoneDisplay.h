#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>

#include <optional>

class TextCollection;

// What a phone can show, as its request tells: the content types its Accept
// header lists and the size of its screen.
class PhoneDisplay {
public:
    // The screen assumed when the phone does not tell its own.
    static constexpr QSize DefaultScreen{128, 160};

    // From the request's headers; profileScreen is the screen size of the
    // phone's x-wap-profile document when it is known.
    static PhoneDisplay FromHeaders(const TextCollection& headers,
                                    std::optional<QSize> profileScreen = std::nullopt);
    // From an Accept header's value alone ("" when the phone sent none).
    static PhoneDisplay FromAccept(const QByteArray& accept, QSize screen = DefaultScreen);

    // Whether the phone takes the content type, by name or by a wild card.
    // A phone that sends no Accept header takes everything.
    bool Accepts(const QByteArray& contentType) const;
    // Whether the phone names the content type itself (a wild card does not
    // count): the types a picture may be converted to.
    bool Lists(const QByteArray& contentType) const;
    QSize Screen() const { return m_screen; }

    // A screen size as "128x160" (or "128*160") in a profile document.
    static std::optional<QSize> ParseScreenSize(const QByteArray& text);

private:
    QList<QByteArray> m_types; // lower case, without parameters
    bool m_acceptsAll = false;
    QSize m_screen = DefaultScreen;
};
