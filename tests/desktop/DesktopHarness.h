#pragma once

#include "desktop/OwnerDialogs.h"
#include "desktop/frmMain.h"
#include "support/SiteHarness.h"

#include <QList>
#include <QQueue>
#include <QTest>
#include <QUrl>

#include <memory>

// Answers the window's dialogs in the owner's place, from queues the test
// fills, and records every question asked.
struct ScriptedDialogs : OwnerDialogs {
    struct Question {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
    };
    QQueue<QString> folders;
    QQueue<QString> images;
    QQueue<QMessageBox::StandardButton> answers;
    QQueue<std::optional<QString>> inputs;
    QList<Question> asked;
    QStringList prompts; // picker prompts and input-box prompt + "|" + title

    QString BrowseFolders(QWidget*, const QString& sPrompt) override {
        prompts << sPrompt;
        return folders.isEmpty() ? QString() : folders.dequeue();
    }
    QString BrowseWelcomeGraphic(QWidget*, const QString& sCurrent) override {
        prompts << sCurrent;
        return images.isEmpty() ? QString() : images.dequeue();
    }
    QMessageBox::StandardButton Ask(QWidget*, QMessageBox::Icon eIcon, const QString& sTitle,
                                    const QString& sText,
                                    QMessageBox::StandardButtons buttons) override {
        asked << Question{eIcon, sTitle, sText, buttons};
        return answers.isEmpty() ? QMessageBox::Cancel : answers.dequeue();
    }
    std::optional<QString> InputBox(QWidget*, const QString& sPrompt,
                                    const QString& sTitle) override {
        prompts << sPrompt + QStringLiteral("|") + sTitle;
        return inputs.isEmpty() ? std::nullopt : inputs.dequeue();
    }
};

// The owner's window over a running site on loopback with its own settings
// file; link labels report the pages they open instead of starting a
// browser.
struct DesktopHarness {
    SiteHarness site;
    ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> window;
    QList<QUrl> opened;

    DesktopHarness() {
        site.open();
        window = std::make_unique<frmMain>(
            DesktopModels{*site.temp.log, site.settings, site.folders, site.board, site.server},
            dialogs);
        window->SetUrlOpener([this](const QUrl& url) { opened << url; });
    }

    // Shows the window as the active one, so that focus moves as the
    // owner's clicks move it.
    void show() {
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            qWarning("the window did not become active");
    }

    template <typename T> T* find(const char* name) const {
        return window->findChild<T*>(QLatin1StringView(name));
    }
};
