#pragma once

#include <QByteArray>
#include <QSize>

#include <optional>

// The screens of common phones that name neither their screen nor its depth
// in their headers, found by the model a User-Agent names first
// ("Nokia6310i/1.0 (04.71)" is the model Nokia6310i).
namespace PhoneModels {

struct Screen {
    QSize size;
    int bitsPerPixel = 0;
};

// The screen of the model the User-Agent names; none for a model not known.
std::optional<Screen> ScreenOf(const QByteArray& userAgent);

} // namespace PhoneModels
