#include "site/ConfinedFolder.h"

#include <QDateTime>

#include <fcntl.h>
#include <linux/openat2.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <memory>

namespace FileSystem {

namespace {

// How many links one resolution may follow, as the kernel allows.
constexpr int MaxLinksFollowed = 40;

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

std::deque<QByteArray> Components(QByteArrayView path) {
    std::deque<QByteArray> components;
    for (const QByteArray& part : path.toByteArray().split('/')) {
        if (!part.isEmpty() && part != ".")
            components.push_back(part);
    }
    return components;
}

Descriptor Failed(int error) {
    errno = error;
    return {};
}

// The kernel's own resolution beneath a folder; ENOSYS where it has none.
Descriptor OpenAt2Beneath(int root, const QByteArray& relative, int flags) {
#ifdef SYS_openat2
    open_how how{};
    how.flags = quint64(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const char* path = relative.isEmpty() ? "." : relative.constData();
    return Descriptor(int(::syscall(SYS_openat2, root, path, &how, sizeof how)));
#else
    (void)root, (void)relative, (void)flags;
    return Failed(ENOSYS);
#endif
}

QByteArray LinkTarget(const Descriptor& link) {
    QByteArray target(PATH_MAX, Qt::Uninitialized);
    const ssize_t length = ::readlinkat(link.Get(), "", target.data(), size_t(target.size()));
    if (length < 0 || length >= target.size())
        return {};
    target.truncate(length);
    return target;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.Release();
    }
    return *this;
}

Descriptor::~Descriptor() {
    if (m_fd >= 0)
        ::close(m_fd);
}

ConfinedFolder::ConfinedFolder(const QByteArray& path)
    : m_root(::open(path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC))
    , m_path(path) {}

Descriptor ConfinedFolder::Open(QByteArrayView relative, int flags) const {
    if (!m_root)
        return Failed(EBADF);
    Descriptor file = OpenAt2Beneath(m_root.Get(), relative.toByteArray(), flags | O_CLOEXEC);
    // Besides a kernel without openat2: an absolute link, which may still
    // lead inside, and a rename elsewhere that the kernel asks to retry.
    if (!file && (errno == ENOSYS || errno == EXDEV || errno == EAGAIN))
        return OpenStepByStep(relative, flags);
    return file;
}

// An absolute link target that names the folder: made relative to it.
bool ConfinedFolder::strippedRootName(QByteArray& target) const {
    if (m_canonicalPath.isEmpty())
        m_canonicalPath = CanonicalPath(m_path);
    for (const QByteArray& root : {m_path, m_canonicalPath}) {
        if (root.isEmpty())
            continue;
        const QByteArray prefix = root.endsWith('/') ? root : root + '/';
        if (target == root || target.startsWith(prefix)) {
            target = target.mid(qMin(prefix.size(), target.size()));
            return true;
        }
    }
    return false;
}

// Walks one component at a time from the folder's own descriptor, holding a
// descriptor of every folder passed so that ".." never climbs above the
// start. A link is read through the descriptor of the link itself, so what is
// followed is what was looked at.
Descriptor ConfinedFolder::OpenStepByStep(QByteArrayView relative, int flags) const {
    if (!m_root)
        return Failed(EBADF);
    std::deque<QByteArray> pending = Components(relative);
    std::vector<Descriptor> passed; // folders below the root, innermost last
    int linksFollowed = 0;
    const auto current = [&] { return passed.empty() ? m_root.Get() : passed.back().Get(); };
    while (!pending.empty()) {
        const QByteArray name = std::move(pending.front());
        pending.pop_front();
        if (name == "..") {
            if (passed.empty())
                return Failed(EXDEV);
            passed.pop_back();
            continue;
        }
        Descriptor step(::openat(current(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat info {};
        if (!step || ::fstat(step.Get(), &info) != 0)
            return {};
        if (S_ISLNK(info.st_mode)) {
            if (++linksFollowed > MaxLinksFollowed)
                return Failed(ELOOP);
            QByteArray target = LinkTarget(step);
            if (target.isEmpty())
                return Failed(ENOENT);
            if (target.startsWith('/')) {
                if (!strippedRootName(target))
                    return Failed(EXDEV);
                passed.clear();
            }
            std::deque<QByteArray> inserted = Components(target);
            pending.insert(pending.begin(), inserted.begin(), inserted.end());
            continue;
        }
        if (!pending.empty()) {
            passed.push_back(std::move(step));
            continue;
        }
        if (flags & O_PATH)
            return step;
        // The last component, opened for real; had it become a link since it
        // was looked at, O_NOFOLLOW refuses it and it is resolved again.
        Descriptor file(::openat(current(), name.constData(), flags | O_NOFOLLOW | O_CLOEXEC));
        if (file || errno != ELOOP || ++linksFollowed > MaxLinksFollowed)
            return file;
        pending.push_front(name);
    }
    return Descriptor(::openat(current(), ".", flags | O_CLOEXEC));
}

std::vector<FolderEntry> ListFolder(const ConfinedFolder& share, QByteArrayView relative,
                                    Descriptor folder) {
    std::vector<FolderEntry> entries;
    if (!folder)
        return entries;
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(folder.Get()));
    if (!dir)
        return entries;
    folder.Release();
    QByteArray prefix = relative.toByteArray();
    if (!prefix.isEmpty() && !prefix.endsWith('/'))
        prefix += '/';
    while (const dirent* entry = ::readdir(dir.get())) {
        if (IsDotOrDotDot(entry->d_name))
            continue;
        FolderEntry item{QByteArray(entry->d_name), entry->d_type == DT_DIR};
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat info {};
            if (::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISLNK(info.st_mode) ? DT_LNK : DT_REG;
            item.isDirectory = S_ISDIR(info.st_mode);
        }
        if (type == DT_LNK) {
            // Listed as what it leads to, when that lies inside the share.
            struct stat target {};
            const Descriptor resolved = share.Open(prefix + item.name, O_PATH);
            if (!resolved || ::fstat(resolved.Get(), &target) != 0)
                continue;
            item.isDirectory = S_ISDIR(target.st_mode);
        }
        entries.push_back(std::move(item));
    }
    return entries;
}

QByteArray CanonicalPath(const QByteArray& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.constData(), nullptr),
                                                         &std::free);
    return resolved ? QByteArray(resolved.get()) : QByteArray();
}

namespace {

FindData FindDataAt(int dirFd, const char* path, int flags) {
    struct statx info {};
    if (::statx(dirFd, path, flags, STATX_TYPE | STATX_SIZE | STATX_BTIME | STATX_MTIME, &info) !=
        0)
        return {};
    FindData data;
    data.exists = true;
    data.isDirectory = S_ISDIR(info.stx_mode);
    data.size = data.isDirectory ? 0 : quint64(info.stx_size);
    const statx_timestamp& time = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
    data.creationTime = QDateTime::fromMSecsSinceEpoch(
        qint64(time.tv_sec) * 1000 + time.tv_nsec / 1000000, Qt::UTC);
    return data;
}

} // namespace

FindData GetFindData(const QByteArray& path) {
    // statx on the path's bytes: names that are not valid UTF-8 are found too.
    return FindDataAt(AT_FDCWD, path.constData(), 0);
}

FindData GetFindData(const Descriptor& file) {
    return file ? FindDataAt(file.Get(), "", AT_EMPTY_PATH) : FindData();
}

} // namespace FileSystem
