// How much an attacker must ask for to push a visitor's link out of the
// link table, and the memory the full table then holds: fills the table as
// a crawler of distinct folder pages would (every record a folder page's
// entry, with a path of typical length) and prints the records it took and
// the resident memory before and after; then shows that reloading pages
// adds nothing.
// Build in Release and run: build-bench/bench/bench_link_table
#include "site/SiteLinks.h"

#include <QFile>

#include <cstdio>

namespace {

qint64 ResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// The link to entry `entry` of page `page` of a folder of a 60-character path.
QByteArray EntryLink(SiteLinks& links, int page, int entry) {
    const QByteArray folder = "/home/owner/Music/Collection/Artists/Albums/Folder " +
                              QByteArray::number(page).rightJustified(8, '0');
    return links.MakeLink(folder, folder + "/Track " + QByteArray::number(entry), {}, 1, "F", {},
                          {}, {});
}

} // namespace

// With the argument "password" the site password is on (each record then
// holds a key). One table a run, so that memory freed by another does not
// hide what this one takes.
int main(int argc, char** argv) {
    const bool passwordOn = argc > 1 && QByteArray(argv[1]) == "password";
    {
        SiteLinks links([passwordOn] { return passwordOn; }, 0);
        const qint64 before = ResidentKiB();
        const QByteArray visitors = links.MakeMainMenuLink();
        const qint64 visitorsIndex = visitors.mid(4).split('&').first().toLongLong(); // "/?S="
        int pages = 0;
        while (links.FindLinkState(visitorsIndex)) {
            for (int entry = 0; entry < 15; ++entry)
                EntryLink(links, pages, entry);
            ++pages;
        }
        const qint64 full = ResidentKiB();
        const qint64 records = links.LinkStateTable().Count();
        QByteArray lastPage, reloaded;
        for (int entry = 0; entry < 15; ++entry) {
            lastPage += EntryLink(links, pages - 1, entry);
            reloaded += EntryLink(links, pages - 1, entry);
        }
        std::printf("password %s: a visitor's link pushed out after %d distinct folder pages of 15 "
                    "entries (%lld records held); table memory %lld KiB (%.0f bytes a record); "
                    "a reloaded page %s\n",
                    passwordOn ? "on" : "off", pages, static_cast<long long>(records),
                    static_cast<long long>(full - before),
                    1024.0 * double(full - before) / double(records),
                    lastPage == reloaded ? "gets the same links" : "gets NEW links");
    }
    return 0;
}
