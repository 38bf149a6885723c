#include "settings/SettingsStorage.h"
#include "settings/SharedFolderList.h"
#include "support/TempSettings.h"

#include <QSignalSpy>
#include <QTest>

using Outcome = SharedFolderList::AddResult::Outcome;

namespace {

// A shared-folder list on a temporary store, loaded as at start-up.
struct TempFolders : TempSettings {
    std::unique_ptr<SharedFolderList> list;

    explicit TempFolders(const QList<QByteArray>& shared = {}) {
        for (const QByteArray& folder : shared)
            SettingsStorage::AddSharedFolderSetting(*store, folder);
        reload();
    }

    void reload() {
        restart();
        list = std::make_unique<SharedFolderList>(*store, *log);
        list->ReloadSharedFolders();
    }

    QList<QByteArray> stored() const { return SettingsStorage::SharedFolderSettings(*store); }

    SharedFolderList::AddResult add(const QByteArray& path, bool agree = true,
                                    int* asked = nullptr) {
        return list->addFolder(path, [=] {
            if (asked)
                ++*asked;
            return agree;
        });
    }
};

} // namespace

class TestSharedFolders : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Paths are cleaned to absolute folders, and none inside a shared one.
    void aFolderInsideASharedOneIsRefused() {
        TempFolders t({"/m"});
        for (const QByteArray& path :
             {QByteArray("/m/rock"), QByteArray("/m"), QByteArray("/m/")}) {
            QCOMPARE(t.add(path).outcome, Outcome::AlreadyShared);
            QCOMPARE(t.add(path).parent, QByteArray("/m"));
        }
        QCOMPARE(t.add("relative").outcome, Outcome::NotAbsolute);
        QCOMPARE(t.add("/m2//b/./c/../").outcome, Outcome::Added);
        QCOMPARE(t.list->folders(), (QList<QByteArray>{"/m", "/m2/b"}));
        QCOMPARE(t.stored(), t.list->folders());
        QCOMPARE(SharedFolderList::CleanFolderPath("/.."), QByteArray("/"));
        TempFolders root({"/"});
        QCOMPARE(root.add("/home/a").outcome, Outcome::AlreadyShared);
    }

    void sharedSubFoldersAreReplacedAfterOneQuestion() {
        TempFolders t({"/m/rock", "/films", "/m/pop"});
        const QByteArray fileBefore = t.fileText();
        int asked = 0;
        QCOMPARE(t.add("/m", false, &asked).outcome, Outcome::Cancelled);
        QCOMPARE(t.fileText(), fileBefore);
        QCOMPARE(t.list->rowCount(), 3);

        const auto result = t.add("/m", true, &asked);
        QCOMPARE(asked, 2); // once per command
        QCOMPARE(result.outcome, Outcome::Added);
        QCOMPARE(t.list->folders(), (QList<QByteArray>{"/films", "/m"}));
        t.reload();
        QCOMPARE(t.list->folders(), (QList<QByteArray>{"/films", "/m"}));
    }

    void reloadSummarisesTheList() {
        TempFolders empty;
        QCOMPARE(empty.lines(LogNotice).last(),
                 QStringLiteral("You are currently not sharing anything."));
        TempFolders one({"/srv/music"});
        QCOMPARE(one.lines(LogNotice).last(),
                 QStringLiteral("You are currently sharing 1 folders and their sub folders."));
        QCOMPARE(one.list->index(0).data().toString(), QStringLiteral("/srv/music"));
        QCOMPARE(one.list->index(0).data(SharedFolderList::PathRole).toByteArray(),
                 QByteArray("/srv/music"));
    }

    void removingKeepsListAndStoreTogether() {
        TempFolders t({"/a", "/b", "/c"});
        QSignalSpy empty(t.list.get(), &SharedFolderList::emptyChanged);
        QVERIFY(t.list->removeAt(1));
        QCOMPARE(t.stored(), (QList<QByteArray>{"/a", "/c"}));
        // An entry whose stored value is gone (a hand-edited file) still goes.
        SettingsStorage::RemoveSharedFolderSetting(*t.store, "/c");
        QVERIFY(t.list->removeFolder("/c"));
        QVERIFY(t.list->removeAll());
        QVERIFY(t.stored().isEmpty() && t.list->isEmpty());
        QCOMPARE(empty.size(), 1);
        QCOMPARE(empty.first().first().toBool(), true);
        t.add("/d");
        QCOMPARE(empty.last().first().toBool(), false);
    }
};

QTEST_GUILESS_MAIN(TestSharedFolders)
#include "tst_sharedfolders.moc"
