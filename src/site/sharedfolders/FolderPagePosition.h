#pragma once

#include <QByteArray>
#include <QtGlobal>

class SiteLinks;

// Where the folder page that a followed link leads to begins, and the links
// that page on from it.
//
// The length limit may cut a page short, and the next page must then start
// right after the last entry shown, not at (p - 1) x N. So a paging link
// carries the first entry of its page in A (empty: the usual (p - 1) x N)
// and in C the index of the link record that showed the page before it.
// "Back" (and the back link of a file's details page) copies that record, and
// so returns to exactly the page the visitor saw. When that record is gone,
// the page falls back to its usual start.
struct FolderPagePosition {
    qint64 first = 0;        // index of the page's first entry
    QByteArray shownBefore;  // record of the page before it (C)
    QByteArray followedLink; // the record followed to this page, as text

    static FolderPagePosition Of(const SiteLinks& links, qint64 linkIndex, int page, int perPage);

    // A link to the page after this one, whose first entry is `next`.
    QByteArray NextPageLink(SiteLinks& links, const QByteArray& U, const QByteArray& D, int page,
                            int perPage, qint64 next) const;

    // A new link to the page that record `shown` led to; to `page` of folder
    // D from its usual start when that record is gone.
    static QByteArray LinkToShownPage(SiteLinks& links, const QByteArray& shown,
                                      const QByteArray& U, const QByteArray& D, int page);
};
