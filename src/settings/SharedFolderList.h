#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QList>

#include <functional>
#include <optional>

class RegistryStore;
class StatusLog;

// The folders the owner shares: ordered absolute paths (bytes, as the file
// system names them), none inside another. Sharing a folder shares
// everything below it. Each change is written to the store at once; the
// browsing pages read folders() on every request.
class SharedFolderList : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { PathRole = Qt::UserRole + 1 };

    // Texts of the questions and refusals (lines joined by a carriage return).
    static QString AlreadySharedText();
    static QString ReplaceSubFoldersText();

    // The path made absolute-clean: no "//", "." or ".." components and no
    // trailing "/" except for the root. Empty for a path that is not
    // absolute.
    static QByteArray CleanFolderPath(QByteArrayView sPath);

    SharedFolderList(RegistryStore& store, StatusLog& log, QObject* parent = nullptr);

    // Fills the list from the store in storage order and logs the summary.
    void ReloadSharedFolders();

    const QList<QByteArray>& folders() const { return m_folders; }

    // The shared folder that is sPath or holds it, if any.
    std::optional<QByteArray> sharingParentOf(QByteArrayView sPath) const;
    // The shared folders inside sPath, in list order.
    QList<QByteArray> sharedSubFoldersOf(QByteArrayView sPath) const;
    // What sharing the folder would show visitors beyond what an owner
    // thinks of sharing: every folder of the PC, the owner's whole home
    // folder, or the folder of the settings file, which holds the passwords
    // (visitors see the names of hidden files too). Symbolic links count
    // where they lead. Empty for any other folder.
    QString exposureOf(QByteArrayView sPath) const;

    struct AddResult {
        enum Outcome {
            Added,
            NotAbsolute,   // the path is not an absolute path
            AlreadyShared, // it is, or lies inside, the folder in `parent`
            Cancelled,     // the owner declined to replace its shared sub folders
            Exposing,      // the owner declined to share what `exposure` tells
            NotSaved,      // the store could not be written (logged at level 1)
        };
        Outcome outcome = Added;
        QByteArray folder;                 // the cleaned path
        QByteArray parent;                 // for AlreadyShared
        QString exposure;                  // for Exposing
        QList<QByteArray> replacedFolders; // shared sub folders removed for it
    };
    // Shares a folder. A folder inside a shared one is refused; one with an
    // exposureOf() is shared only when confirmExposure (asked with it)
    // agrees; shared sub folders of the new folder are removed once
    // confirmReplace (asked once, only when there are any) agrees. The new
    // folder goes to the end.
    AddResult addFolder(QByteArrayView sPath, const std::function<bool()>& confirmReplace,
                        const std::function<bool(const QString&)>& confirmExposure = {});

    // Stops sharing one folder, or all. False when the store could not be
    // written (logged at level 1); what was removed until then stays removed.
    bool removeAt(int iRow);
    bool removeFolder(QByteArrayView sPath);
    bool removeAll();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // The list became empty or stopped being empty (the removal commands
    // are enabled exactly when it is not).
    void emptyChanged(bool bEmpty);

private:
    bool removeRowWithSetting(int iRow);
    void logSummary();

    RegistryStore& m_store;
    StatusLog& m_log;
    QList<QByteArray> m_folders;
};
