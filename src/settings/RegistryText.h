#pragma once

#include "settings/RegistryKeys.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The settings file's text: one human-readable file laid out like a registry
// export. Each section "[ROOT\Key\Path]" is a key, each line "Name"="text"
// below it a value; expand:"text" marks a value whose %VARIABLE% references
// are expanded when read. A key path that is not plain printable ASCII is
// written quoted, ["ROOT\\Key\x01"]. The writer ends the text with an end
// line, so that a file cut short is recognised; lines after it (added by
// hand, say) are read like any other. Whatever the writer writes, the reader
// reads back to the same keys and values. No file is touched here.
namespace RegistryText {

// How every written text begins.
inline constexpr QByteArrayView FirstLine = "; Pocketlane settings.";

QByteArray serialize(const QList<RegistryKeys::Key>& keys);

// The keys read back from a text, or nothing, with the reason in `error`,
// when it cannot be parsed. Costs time linear in the text's length.
std::optional<RegistryKeys> parse(QByteArrayView text, QString* error);

} // namespace RegistryText
