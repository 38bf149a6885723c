#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>

#include <optional>

class TextCollection;

// What a phone can show, as its request tells: the content types its Accept
// header lists, the size of its screen and whether it shows only black and
// white.
class PhoneDisplay {
public:
    // The screen assumed when the phone does not tell its own.
    static constexpr QSize DefaultScreen{128, 160};
    // The window assumed for a web browser that does not tell its width.
    static constexpr QSize BrowserScreen{1024, 4096};

    // From the request's headers: Accept, and the screen's size and depth
    // that the first of these gives: an inline profile (x-wap-profile-diff),
    // UA-Pixels (size only), the x-up-devcap-screenpixels and
    // x-up-devcap-screendepth headers, the model the User-Agent names (a
    // table of common phones that name neither their screen nor its depth). A
    // profile that x-wap-profile names by address is never fetched: that
    // would let any visitor make this PC request addresses of their choosing.
    // A web browser (it sends Sec-Fetch-Dest or its viewport's width, or
    // lists picture types no phone has) gets pictures as wide as its
    // Sec-CH-Viewport-Width or Viewport-Width, else BrowserScreen's width.
    static PhoneDisplay FromHeaders(const TextCollection& headers);
    // From an Accept header's value alone ("" when the phone sent none), and
    // the screen's bits per pixel (0: not known).
    static PhoneDisplay FromAccept(const QByteArray& accept, QSize screen = DefaultScreen,
                                   int bitsPerPixel = 0);

    // Whether the phone takes the content type, by name or by a wild card.
    // A phone that sends no Accept header takes everything; a wild card
    // stands for no picture type but WBMP on a black-and-white phone.
    bool Accepts(const QByteArray& contentType) const;
    // Whether the phone names the content type itself (a wild card does not
    // count): the types a picture may be converted to.
    bool Lists(const QByteArray& contentType) const;
    QSize Screen() const { return m_screen; }

    // What the phone makes of a picture of one content type, asked once:
    // whether it shows the type as it is, the screen the picture goes on,
    // and the type a picture made for it gets: the first the phone can show
    // that this site writes (the picture's own when the phone takes it, a
    // WBMP for a black-and-white phone, else one the phone lists, else PNG
    // for a web browser), or none.
    struct PictureView {
        bool shownAsIs = false;
        QSize screen;
        QByteArray convertedType;
    };
    PictureView ForPicture(const QByteArray& pictureType) const;

    // A screen size as "128x160" (or "128*160", "128,160").
    static std::optional<QSize> ParseScreenSize(const QByteArray& text);
    // The ScreenSize that a profile document gives.
    static std::optional<QSize> ScreenInProfile(const QByteArray& document);
    // The BitsPerPixel that a profile document gives.
    static std::optional<int> DepthInProfile(const QByteArray& document);

private:
    static std::optional<int> ViewportWidth(const TextCollection& headers);
    QByteArray convertedType(const QByteArray& pictureType) const;

    QList<QByteArray> m_types; // lower case, without parameters
    bool m_acceptsAll = false;
    // The screen has one bit a pixel, or the phone lists WBMP alone among
    // picture types: what it shows best is a WBMP.
    bool m_blackAndWhite = false;
    // A web browser, which shows PNG whatever it lists, and never WBMP.
    bool m_browser = false;
    QSize m_screen = DefaultScreen;
};
