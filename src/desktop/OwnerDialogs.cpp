#include "desktop/OwnerDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>

QString OwnerDialogs::BrowseFolders(QWidget* owner, const QString& sPrompt) {
    return QFileDialog::getExistingDirectory(owner, sPrompt, QString(), QFileDialog::ShowDirsOnly);
}

QStringList OwnerDialogs::WelcomeGraphicFilters() {
    return {QStringLiteral("WBMP files (*.WBMP) (*.wbmp *.WBMP)"),
            QStringLiteral("GIF files (*.GIF) (*.gif *.GIF)"),
            QStringLiteral("All Files (*.*) (*)")};
}

QString OwnerDialogs::BrowseWelcomeGraphic(QWidget* owner, const QString& sCurrentPath) {
    QFileDialog dialog(owner, QStringLiteral("Pocketlane - Welcome image"));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The names show as written; the patterns in the last brackets do the
    // matching (both letter cases: the names of such files are often upper
    // case).
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(WelcomeGraphicFilters());
    dialog.selectNameFilter(WelcomeGraphicFilters().at(1));
    dialog.setDefaultSuffix(QStringLiteral("wbmp"));
    const QFileInfo current(sCurrentPath);
    if (!sCurrentPath.isEmpty())
        dialog.setDirectory(current.absolutePath());
    dialog.selectFile(current.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QMessageBox::StandardButton OwnerDialogs::Ask(QWidget* owner, QMessageBox::Icon eIcon,
                                              const QString& sTitle, const QString& sText,
                                              QMessageBox::StandardButtons buttons) {
    QMessageBox box(eIcon, sTitle, sText, buttons, owner);
    return QMessageBox::StandardButton(box.exec());
}

bool OwnerDialogs::AskToStartAfresh(QWidget* owner, const QString& sProblem) {
    const QString text =
        sProblem +
        QStringLiteral(".\n\nPocketlane has not started serving. Start afresh with first-run "
                       "values? Visitors would then reach the site without its password, no "
                       "folder would be shared, and the file would be kept beside the new one "
                       "(\".unreadable-\" and the time added to its name).\n\nNo closes "
                       "Pocketlane, so that you can mend the file.");
    return Ask(owner, QMessageBox::Warning, QStringLiteral("Pocketlane"), text,
               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::optional<QString> OwnerDialogs::InputBox(QWidget* owner, const QString& sPrompt,
                                              const QString& sTitle) {
    bool accepted = false;
    const QString text =
        QInputDialog::getText(owner, sTitle, sPrompt, QLineEdit::Normal, QString(), &accepted);
    if (!accepted)
        return std::nullopt;
    return text;
}
