#pragma once

#include "site/BoundedRecordTable.h"

#include <QByteArray>
#include <QHash>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <vector>

// The state a page needs behind one link of the site. A deck carries only
// the record's index (and, with the site password on, its key).
struct LinkState {
    QByteArray D; // folder
    QByteArray U; // the folder D was reached from
    QByteArray F; // file name within D
    qint16 P = 1; // page number
    QByteArray M; // module: "F", "G", "M"; empty for the main menu
    QByteArray A; // action within the module
    QByteArray K; // the link's key while the site password was on
    QByteArray C; // "Y" on a confirmed My Computer link

    // The field named by one capital letter (D, U, F, P, M, A, K, C) as text;
    // empty for any other letter.
    QByteArray Field(char letter) const;
};

struct FileLink {
    QByteArray path;
    QByteArray key; // empty while the site password was off
    // The picture shown on a details page: fitted to the phone's screen.
    // A plain file link leads to the file as it is, for a phone that takes
    // its type.
    bool fitted = false;
};

// The two tables of the site: every link a page hands out, and every file
// offered for download.
class SiteLinks {
public:
    static constexpr qsizetype LinkCapacity = 100000;
    static constexpr qsizetype FileLinkCapacity = 10000;

    // Numbers of a run start at a random point below this, so that a link
    // handed out by an earlier run of the program is expired in this one.
    static constexpr qint64 FirstIndexRange = qint64(1) << 36;
    // Characters of a key: 11 of 64 give 66 bits.
    static constexpr int KeyCharacters = 11;

    // passwordOn is asked at the moment a link is built. Numbering starts at
    // firstIndex, a random point when none is given.
    explicit SiteLinks(std::function<bool()> passwordOn,
                       std::optional<qint64> firstIndex = std::nullopt);

    // Registers a record and returns the link to it, XML-escaped for a deck
    // ("&" becomes "&amp;"; "$" stays single so that the suffix may carry
    // variable references such as "&P=$(P)"). A record that is held already
    // with the same fields (and a key while the password is on) is reused,
    // so that reloading a page adds nothing to the table.
    QByteArray MakeLink(const QByteArray& U, const QByteArray& D, const QByteArray& F, qint16 P,
                        const QByteArray& M, const QByteArray& A, const QByteArray& C,
                        const QByteArray& suffix);
    // The main-menu link: every field empty and page 1.
    QByteArray MakeMainMenuLink();

    qint64 AddLinkState(const QByteArray& U, const QByteArray& D, const QByteArray& F, qint16 P,
                        const QByteArray& M, const QByteArray& A, const QByteArray& K,
                        const QByteArray& C);
    // The record behind index, or nothing when it is not (or no longer) held.
    const LinkState* FindLinkState(qint64 index) const;
    std::optional<QByteArray> GetLinkField(char letter, qint64 index) const;

    // Registers a file for download and returns its link, XML-escaped. With
    // the site password on the link carries a key of its own. A file that is
    // registered already is reused. A fitted link is a file link of its
    // own, to the picture made to fit the phone that follows it.
    QByteArray RegisterFileLink(const QByteArray& path, bool fitted = false);
    const FileLink* FindFileLink(qint64 index) const;

    // KeyCharacters letters, digits, "-" and "_" (safe in a URL and in a
    // deck), drawn from the system's cryptographically secure generator.
    static QByteArray MakeLinkKey();

    // Forgets every record, as when the server is stopped.
    void Erase();

    const BoundedRecordTable<LinkState>& LinkStateTable() const { return m_links; }
    const BoundedRecordTable<FileLink>& FileLinkTable() const { return m_files; }

private:
    // What makes two records the same link: every field but the key, and
    // whether it has one.
    struct LinkIdentity {
        LinkState fields; // K left empty
        bool keyed = false;
        bool operator==(const LinkIdentity& other) const;
    };
    struct FileIdentity {
        QByteArray path;
        bool keyed = false;
        bool fitted = false;
        bool operator==(const FileIdentity& other) const = default;
    };
    // Before a record is pushed out of table, its identity stops leading to it.
    template <typename Record, typename Identity, typename IdentityOf>
    static void forgetIdentityPushedOut(const BoundedRecordTable<Record>& table,
                                        QHash<Identity, qint64>& byIdentity,
                                        IdentityOf identityOf) {
        const qint64 pushedOut = table.IndexPushedOutByNextAdd();
        const Record* record = table.Find(pushedOut);
        if (!record)
            return;
        const auto found = byIdentity.find(identityOf(*record));
        if (found != byIdentity.end() && *found == pushedOut)
            byIdentity.erase(found);
    }
    friend size_t qHash(const LinkIdentity& identity, size_t seed);
    friend size_t qHash(const FileIdentity& identity, size_t seed);

    std::function<bool()> m_passwordOn;
    qint64 m_firstIndex;
    BoundedRecordTable<LinkState> m_links;
    BoundedRecordTable<FileLink> m_files;
    QHash<LinkIdentity, qint64> m_linkIndex;
    QHash<FileIdentity, qint64> m_fileIndex;
};
