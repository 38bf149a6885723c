#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QtGlobal>

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

} // namespace FileSystem
