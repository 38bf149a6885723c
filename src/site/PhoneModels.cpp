#include "site/PhoneModels.h"

#include <QByteArrayView>

namespace {

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

// The first product token: the text before the first "/" or blank.
QByteArrayView ModelOf(QByteArrayView userAgent) {
    qsizetype end = 0;
    while (end < userAgent.size() && userAgent[end] != '/' && userAgent[end] != ' ')
        ++end;
    return userAgent.first(end);
}

} // namespace

namespace PhoneModels {

std::optional<Screen> ScreenOf(const QByteArray& userAgent) {
    const QByteArrayView model = ModelOf(QByteArrayView(userAgent).trimmed());
    for (const KnownModel& known : KnownModels) {
        if (model.compare(QByteArrayView(known.model), Qt::CaseInsensitive) == 0)
            return Screen{QSize(known.width, known.height), known.bitsPerPixel};
    }
    return std::nullopt;
}

} // namespace PhoneModels
