#pragma once

#include "site/ConfinedFolder.h"

#include <QByteArray>

#include <vector>

// A folder's entries in the order its pages list them: sub folders first,
// then files, each in case-insensitive name order (names equal but for case
// by their bytes), so every page of it lists the same entries.
class SortedListing {
public:
    explicit SortedListing(const std::vector<FileSystem::FolderEntry>& entries);

    qsizetype Size() const { return qsizetype(m_items.size()); }
    bool IsDirectory(qsizetype i) const { return i < m_folderCount; }
    QByteArray Name(qsizetype i) const;
    // What the listing holds in memory, roughly.
    qsizetype MemoryBytes() const;

private:
    struct Item {
        quint32 offset;
        quint32 length;
    };
    QByteArray m_names; // every name, one after the other, in listing order
    std::vector<Item> m_items;
    qsizetype m_folderCount = 0;
};
