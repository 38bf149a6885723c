#include "site/sharedfolders/FolderStamp.h"

#include <sys/stat.h>

#include <ctime>

std::optional<FolderStamp> FolderStamp::Of(const FileSystem::Descriptor& folder) {
    struct stat info {};
    if (!folder || ::fstat(folder.Get(), &info) != 0)
        return std::nullopt;
    const auto ns = [](const timespec& t) { return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
    return FolderStamp{info.st_dev, info.st_ino, ns(info.st_mtim), ns(info.st_ctim)};
}

qint64 WallClockNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}
