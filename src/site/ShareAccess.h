#pragma once

#include <QByteArray>

class SharedFolderList;

// Where visitors may reach files: inside the owner's shared folders, as
// they are at the moment of the request.
class ShareAccess {
public:
    explicit ShareAccess(const SharedFolderList& folders);

    // The canonical path of the shared folder that path lies in (by its
    // text) when the path, links resolved, still lies inside it; else empty.
    QByteArray CanonicalShareHolding(const QByteArray& path) const;
    bool IsShared(const QByteArray& path) const { return !CanonicalShareHolding(path).isEmpty(); }

    const SharedFolderList& Folders() const { return m_folders; }

private:
    const SharedFolderList& m_folders;
};
