#pragma once

#include "desktop/OwnerDialogs.h"
#include "desktop/frmMain.h"
#include "support/SiteHarness.h"

#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;

// Answers the window's dialogs in the owner's place, from queues the test
// fills, and records every question asked as "title|text|buttons".
struct ScriptedDialogs : OwnerDialogs {
    QList<QString> picked; // what the folder and file pickers return
    QList<QMessageBox::StandardButton> answers;
    QList<std::optional<QString>> inputs;
    QStringList asked;
    QStringList prompts; // picker prompts and input-box prompt + "|" + title

    template <typename T> static T next(QList<T>& queue, T none = {}) {
        return queue.isEmpty() ? none : queue.takeFirst();
    }
    QString BrowseFolders(QWidget*, const QString& sPrompt) override {
        prompts << sPrompt;
        return next(picked);
    }
    QString BrowseWelcomeGraphic(QWidget* parent, const QString& sCurrent) override {
        return BrowseFolders(parent, sCurrent);
    }
    QString ChooseFileToSave(QWidget* parent, const QString& sTitle, const QString&) override {
        return BrowseFolders(parent, sTitle);
    }
    QMessageBox::StandardButton Ask(QWidget*, QMessageBox::Icon, const QString& sTitle,
                                    const QString& sText,
                                    QMessageBox::StandardButtons buttons) override {
        QStringList named{sTitle, sText}; // each button by its name, never by an alias
        const auto keys = QMetaEnum::fromType<QMessageBox::StandardButtons>();
        for (int bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
            if (buttons.testFlag(QMessageBox::StandardButton(bit)))
                named << QString::fromLatin1(keys.valueToKey(bit));
        asked << named.join(u'|');
        return next(answers, QMessageBox::Cancel);
    }
    std::optional<QString> InputBox(QWidget*, const QString& sPrompt,
                                    const QString& sTitle) override {
        prompts << sPrompt + u"|"_s + sTitle;
        return next(inputs);
    }
};

// The owner's window, shown, over a running site on loopback with its own
// settings file and its own configuration folder (the window's state, the
// autostart entry); link labels report the pages they open instead of
// starting a browser. The helpers act as the owner does.
struct DesktopHarness {
    QTemporaryDir config;
    bool configSet = qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    SiteHarness site;
    ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> window;
    QList<QUrl> opened;

    DesktopHarness() {
        site.open();
        openWindow();
    }
    // A window again, as at the program's next start.
    void openWindow() {
        window = std::make_unique<frmMain>(
            DesktopModels{*site.temp.log, site.settings, site.folders, site.board, site.server},
            dialogs);
        window->SetUrlOpener([this](const QUrl& url) { opened << url; });
        // Active, so that focus moves as the owner's clicks move it.
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename T> T* find(const char* name) const {
        return window->findChild<T*>(QLatin1StringView(name));
    }
    bool enabled(const char* name) const { return find<QWidget>(name)->isEnabled(); }
    bool stores(const QByteArray& name, const QByteArray& value) const {
        return site.temp.fileText().contains("\"" + name + "\"=\"" + value + "\"");
    }
    // The questions asked since the last call, one a line.
    QString asked() { return std::exchange(dialogs.asked, {}).join(u'\n'); }

    void clickEntry(const QString& key) {
        const auto items = window->Menu()->findItems(key, Qt::MatchExactly | Qt::MatchRecursive);
        QTest::mouseClick(window->Menu()->viewport(), Qt::LeftButton, {},
                          window->Menu()->visualItemRect(items.value(0)).center());
    }
    // Clicks near the left edge: on a check box's box, not its caption.
    void press(const char* name) {
        auto* button = find<QAbstractButton>(name);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    QStringList rows(const char* list) const {
        QStringList texts;
        const QAbstractItemModel* model = find<QAbstractItemView>(list)->model();
        for (int row = 0; row < model->rowCount(); ++row)
            texts << model->index(row, 0).data().toString();
        return texts;
    }
};
