#include "site/FileSystem.h"

#include "base/FolderPaths.h"

#include <QDateTime>

#include <fcntl.h>

#include <dirent.h>
#include <sys/stat.h>

#include <array>
#include <cstdlib>
#include <memory>

namespace FileSystem {

namespace {

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Resolves what a link (or an entry of unknown type) is. Returns false when
// it must not be listed.
bool ResolveEntry(const QByteArray& fullPath, const QByteArray& confinedTo, bool& isDirectory) {
    struct stat target {};
    if (::stat(fullPath.constData(), &target) != 0)
        return false;
    if (!confinedTo.isEmpty() && !FolderPaths::IsWithinFolder(CanonicalPath(fullPath), confinedTo))
        return false;
    isDirectory = S_ISDIR(target.st_mode);
    return true;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

std::vector<FolderEntry> ListFolder(const QByteArray& folder, const QByteArray& confinedTo) {
    std::vector<FolderEntry> entries;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.constData()));
    if (!dir)
        return entries;
    QByteArray prefix = folder;
    if (!prefix.endsWith('/'))
        prefix += '/';
    while (const dirent* entry = ::readdir(dir.get())) {
        if (IsDotOrDotDot(entry->d_name))
            continue;
        FolderEntry item{QByteArray(entry->d_name), entry->d_type == DT_DIR};
        const bool needsLookup = entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
        if (needsLookup && !ResolveEntry(prefix + item.name, confinedTo, item.isDirectory))
            continue;
        entries.push_back(std::move(item));
    }
    return entries;
}

QByteArray CanonicalPath(const QByteArray& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.constData(), nullptr),
                                                         &std::free);
    return resolved ? QByteArray(resolved.get()) : QByteArray();
}

FindData GetFindData(const QByteArray& path) {
    // statx on the path's bytes: names that are not valid UTF-8 are found too.
    struct statx info {};
    if (::statx(AT_FDCWD, path.constData(), 0, STATX_TYPE | STATX_SIZE | STATX_BTIME | STATX_MTIME,
                &info) != 0)
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

QByteArray ProperCase(const QByteArray& name) {
    QByteArray result = name;
    bool wordStart = true;
    for (char& c : result) {
        if (c == ' ') {
            wordStart = true;
            continue;
        }
        if (wordStart && c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        else if (!wordStart && c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        wordStart = false;
    }
    return result;
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
