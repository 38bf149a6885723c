#pragma once

#include <QMessageBox>
#include <QString>

#include <optional>

class QWidget;

// The modal dialogs through which the window asks the owner something: the
// folder picker, the welcome-image picker, message boxes and the input box.
// The window calls them through this one class, so that tests can answer in
// the owner's place.
class OwnerDialogs {
public:
    virtual ~OwnerDialogs() = default;

    // A folder chosen by the owner (the picker opens in the home folder), or
    // an empty text when cancelled.
    virtual QString BrowseFolders(QWidget* owner, const QString& sPrompt);

    // A file name to save to, chosen by the owner (the picker starts in the
    // home folder with the suggested name), or an empty text when cancelled.
    virtual QString ChooseFileToSave(QWidget* owner, const QString& sTitle,
                                     const QString& sSuggestedName);

    // A welcome image chosen by the owner (the picker starts at sCurrentPath),
    // or an empty text when cancelled.
    virtual QString BrowseWelcomeGraphic(QWidget* owner, const QString& sCurrentPath);

    // A message box with the given icon, title, text and buttons; the button
    // the owner chose (Cancel or No when the box was closed otherwise).
    virtual QMessageBox::StandardButton Ask(QWidget* owner, QMessageBox::Icon eIcon,
                                            const QString& sTitle, const QString& sText,
                                            QMessageBox::StandardButtons buttons);

    // The text typed into an input box, or nothing when cancelled.
    virtual std::optional<QString> InputBox(QWidget* owner, const QString& sPrompt,
                                            const QString& sTitle);

    // Asked before anything is served when the settings file cannot be read
    // (sProblem names the file and the line): whether to keep the file aside
    // and serve with first-run values, the site password off. True on Yes.
    bool AskToStartAfresh(QWidget* owner, const QString& sProblem);

    // The filters of the welcome-image picker, in order; the second is chosen
    // at the start.
    static QStringList WelcomeGraphicFilters();

    // The width a dialog needs for its whole title in the window's title bar.
    static int WidthForTitle(const QWidget& dialog);
};
