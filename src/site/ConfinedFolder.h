#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QtGlobal>

#include <span>
#include <string>
#include <utility>

#include <vector>

// File-system access of the shared-folder pages. Paths and names are bytes
// exactly as the file system stores them.
namespace FileSystem {

// An open file descriptor, closed when its owner goes.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd)
        : m_fd(fd) {}
    Descriptor(Descriptor&& other) noexcept
        : m_fd(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept;
    ~Descriptor();

    int Get() const { return m_fd; }
    int Release() { return std::exchange(m_fd, -1); }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// A folder held open by descriptor, below which paths are opened so that no
// step of their resolution, symbolic links included, leaves it, whatever
// changes on the disk meanwhile. Links that stay inside work: relative ones,
// and absolute ones naming the folder by the path it was opened with or by
// its canonical path. Every failure sets errno; EXDEV means the path leads
// out of the folder.
class ConfinedFolder {
public:
    // Opens the folder itself (links in its own path are followed: it is
    // the owner's choice). Check IsOpen().
    explicit ConfinedFolder(const QByteArray& path);

    bool IsOpen() const { return bool(m_root); }
    const QByteArray& Path() const { return m_path; }
    // Opens `relative` (a "/"-separated path below the folder; empty for
    // the folder itself) with open(2) flags (O_CLOEXEC is added; links are
    // followed, the last component's too). The kernel resolves it beneath the folder where it can
    // (openat2), else it is resolved step by step.
    Descriptor Open(QByteArrayView relative, int flags) const;
    // The step-by-step resolution alone: one openat(O_NOFOLLOW) per
    // component, each link read and resolved by the same rules.
    Descriptor OpenStepByStep(QByteArrayView relative, int flags) const;

private:
    bool strippedRootName(QByteArray& target) const;

    Descriptor m_root;
    QByteArray m_path;
    mutable QByteArray m_canonicalPath; // found when an absolute link needs it
};

struct FolderEntry {
    QByteArray name; // as stored on disk
    bool isDirectory = false;
};

// One pass over `folder`, already open beneath `share` as `relative` (the
// descriptor is taken over), in the order the file system delivers it,
// without "." and "..". A symbolic link is listed as what it points at, and
// only when it leads to something inside the share; a dangling link is left
// out. An unreadable folder gives an empty list.
std::vector<FolderEntry> ListFolder(const ConfinedFolder& share, QByteArrayView relative,
                                    Descriptor folder);

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
// The same of an open descriptor (one opened with O_PATH will do).
FindData GetFindData(const Descriptor& file);

// The first letter of every blank-separated word in title case, every other
// letter in lower case, by Unicode's case mapping. Bytes that are not UTF-8
// stay as they are.
QByteArray ProperCase(const QByteArray& name);

// A key that orders names case-insensitively when compared byte by byte: the
// name with every character case-folded (as UTF-8); bytes that are not UTF-8
// are kept as they are, so that such names sort deterministically too.
void AppendNameSortKey(QByteArrayView name, std::string& key);

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
