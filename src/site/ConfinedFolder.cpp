#include "site/ConfinedFolder.h"

#include "base/SafeText.h"

#include <QChar>
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

void AppendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Calls map on every character of the name: a valid UTF-8 sequence as its
// code point, any other byte as itself with `valid` false.
template <typename Map> void ForEachCharacter(QByteArrayView name, Map map) {
    const char* p = name.data();
    const char* const end = p + name.size();
    while (p < end) {
        char32_t c = 0;
        const int length = SafeText::DecodeUtf8(p, end, c);
        map(length > 0 ? c : char32_t(static_cast<unsigned char>(*p)), length > 0);
        p += length > 0 ? length : 1;
    }
}

} // namespace

FindData GetFindData(const QByteArray& path) {
    // statx on the path's bytes: names that are not valid UTF-8 are found too.
    return FindDataAt(AT_FDCWD, path.constData(), 0);
}

FindData GetFindData(const Descriptor& file) {
    return file ? FindDataAt(file.Get(), "", AT_EMPTY_PATH) : FindData();
}

QByteArray ProperCase(const QByteArray& name) {
    std::string result;
    result.reserve(size_t(name.size()));
    bool wordStart = true;
    ForEachCharacter(name, [&](char32_t c, bool valid) {
        if (!valid) {
            result += char(c);
            wordStart = false;
            return;
        }
        const bool blank = c == ' ';
        AppendUtf8(blank ? c : wordStart ? QChar::toTitleCase(c) : QChar::toLower(c), result);
        wordStart = blank;
    });
    return QByteArray(result.data(), qsizetype(result.size()));
}

void AppendNameSortKey(QByteArrayView name, std::string& key) {
    ForEachCharacter(name, [&](char32_t c, bool valid) {
        if (c < 0x80)
            key += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        else if (valid)
            AppendUtf8(QChar::toCaseFolded(c), key);
        else
            key += char(c);
    });
}

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

} // namespace FileSystem
