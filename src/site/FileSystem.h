#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QtGlobal>

#include <span>
#include <vector>

// File-system access of the shared-folder pages. Paths and names are bytes
// exactly as the file system stores them.
namespace FileSystem {

struct FolderEntry {
    QByteArray name; // as stored on disk
    bool isDirectory = false;
};

// One pass over a folder in the order the file system delivers it, without
// "." and "..". A symbolic link is listed as what it points at, and only
// when its target lies inside `confinedTo` (a canonical folder path; empty
// means no confinement); a dangling link is left out. An unreadable folder
// gives an empty list.
std::vector<FolderEntry> ListFolder(const QByteArray& folder, const QByteArray& confinedTo);

// The canonical form of an existing path (links and "." / ".." resolved), or
// empty when it does not exist.
QByteArray CanonicalPath(const QByteArray& path);

// What the details page shows of a file; all empty/zero when the path
// matches nothing.
struct FindData {
    bool exists = false;
    bool isDirectory = false;
    quint64 size = 0;
    QDateTime creationTime; // UTC; the last modification when the file system keeps no birth time
};
FindData GetFindData(const QByteArray& path);

// The first letter of every blank-separated word in upper case, every other
// letter in lower case. Only ASCII letters change, so UTF-8 stays intact.
QByteArray ProperCase(const QByteArray& name);

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

} // namespace FileSystem
