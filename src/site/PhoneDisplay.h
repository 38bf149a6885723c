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

    // From the request's headers: Accept, and the screen size that an
    // inline profile (x-wap-profile-diff) or UA-Pixels gives. A profile that
    // x-wap-profile names by address is never fetched: that would let any
    // visitor make this PC request addresses of their choosing.
    static PhoneDisplay FromHeaders(const TextCollection& headers);
    // From an Accept header's value alone ("" when the phone sent none).
    static PhoneDisplay FromAccept(const QByteArray& accept, QSize screen = DefaultScreen);

    // Whether the phone takes the content type, by name or by a wild card.
    // A phone that sends no Accept header takes everything.
    bool Accepts(const QByteArray& contentType) const;
    // Whether the phone names the content type itself (a wild card does not
    // count): the types a picture may be converted to.
    bool Lists(const QByteArray& contentType) const;
    QSize Screen() const { return m_screen; }

    // A screen size as "128x160" (or "128*160").
    static std::optional<QSize> ParseScreenSize(const QByteArray& text);
    // The ScreenSize that a profile document gives.
    static std::optional<QSize> ScreenInProfile(const QByteArray& document);

private:
    QList<QByteArray> m_types; // lower case, without parameters
    bool m_acceptsAll = false;
    QSize m_screen = DefaultScreen;
};
