#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QtGlobal>

#include <span>

// The file types the shared-folder pages offer, and how a file's date and
// size are written on them.
namespace FileTypes {

// The upper-case text after the first "." of a file name, or the whole name
// in upper case when it has no ".".
QByteArray FileExtension(const QByteArray& fileName);

enum class FileKind { Picture, Download, Unsupported };
struct SupportedType {
    const char* extension; // as FileExtension gives it
    const char* contentType;
};
// Every file type the pages offer; an image type is shown as a picture.
std::span<const SupportedType> SupportedTypes();
FileKind KindOfExtension(const QByteArray& extension);
// The content type a download is sent with; empty for an unsupported type.
QByteArray ContentTypeOfExtension(const QByteArray& extension);

// "DD MMM YYYY" with the English month abbreviation; empty for an invalid time.
QByteArray FormatFileDate(const QDateTime& time);

// Decimal digits grouped by threes with "," ("1,234,567"); 0 gives no digits.
QByteArray FormatFileSize(quint64 size);

} // namespace FileTypes
