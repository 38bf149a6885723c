#include "site/sharedfolders/FolderPagePosition.h"

#include "site/SiteLinks.h"

FolderPagePosition FolderPagePosition::Of(const SiteLinks& links, qint64 linkIndex, int page,
                                          int perPage) {
    FolderPagePosition position;
    position.first = qMax(0, page - 1) * qint64(perPage);
    const LinkState* state = links.FindLinkState(linkIndex);
    if (!state)
        return position;
    position.followedLink = QByteArray::number(linkIndex);
    position.shownBefore = state->C;
    bool ok = false;
    const qint64 first = state->A.toLongLong(&ok);
    if (ok && first >= 0)
        position.first = first;
    return position;
}

QByteArray FolderPagePosition::NextPageLink(SiteLinks& links, const QByteArray& U,
                                            const QByteArray& D, int page, int perPage,
                                            qint64 next) const {
    const QByteArray firstOfNext =
        next == qint64(page) * perPage ? QByteArray() : QByteArray::number(next);
    return links.MakeLink(U, D, {}, qint16(page + 1), "F", firstOfNext, followedLink, {});
}

QByteArray FolderPagePosition::LinkToShownPage(SiteLinks& links, const QByteArray& shown,
                                               const QByteArray& U, const QByteArray& D, int page) {
    bool ok = false;
    const qint64 index = shown.toLongLong(&ok);
    if (const LinkState* state = ok ? links.FindLinkState(index) : nullptr) {
        const LinkState record = *state; // MakeLink may move the table's slots
        return links.MakeLink(record.U, record.D, {}, record.P, "F", record.A, record.C, {});
    }
    return links.MakeLink(U, D, {}, qint16(page), "F", {}, {}, {});
}
