#include "site/FileTypes.h"

#include <array>

namespace FileTypes {

QByteArray FileExtension(const QByteArray& fileName) {
    const qsizetype dot = fileName.indexOf('.');
    return (dot < 0 ? fileName : fileName.mid(dot + 1)).toUpper();
}

// Every supported picture type is an image type; the other supported types
// are offered for download.
FileKind KindOfExtension(const QByteArray& extension) {
    const QByteArray type = ContentTypeOfExtension(extension);
    if (type.isEmpty())
        return FileKind::Unsupported;
    return type.startsWith("image/") ? FileKind::Picture : FileKind::Download;
}

std::span<const SupportedType> SupportedTypes() {
    static constexpr SupportedType table[] = {
        {"WBMP", "image/vnd.wap.wbmp"}, {"GIF", "image/gif"},
        {"JPG", "image/jpeg"},          {"JPE", "image/jpeg"},
        {"JPEG", "image/jpeg"},         {"MIDI", "audio/midi"},
        {"MID", "audio/midi"},          {"EMY", "audio/imelody"},
        {"IMY", "audio/imelody"},       {"WAV", "audio/x-wav"},
        {"MMF", "application/x-smaf"},  {"JAR", "application/x-compressed"},
    };
    return table;
}

QByteArray ContentTypeOfExtension(const QByteArray& extension) {
    for (const SupportedType& type : SupportedTypes()) {
        if (extension == type.extension)
            return QByteArray(type.contentType);
    }
    return {};
}

QByteArray FormatFileDate(const QDateTime& time) {
    static constexpr std::array<const char*, 12> Months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (!time.isValid())
        return {};
    const QDate date = time.toUTC().date();
    return QByteArray::number(date.day()).rightJustified(2, '0') + ' ' + Months[date.month() - 1] +
           ' ' + QByteArray::number(date.year()).rightJustified(4, '0');
}

QByteArray FormatFileSize(quint64 size) {
    if (size == 0)
        return {};
    const QByteArray digits = QByteArray::number(size);
    QByteArray grouped;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits.at(i);
    }
    return grouped;
}

} // namespace FileTypes
