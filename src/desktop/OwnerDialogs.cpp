#include "desktop/OwnerDialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QInputDialog>
#include <QStyle>

namespace {

QString Translated(const char* sText) {
    return QCoreApplication::translate("OwnerDialogs", sText);
}

} // namespace

QString OwnerDialogs::BrowseFolders(QWidget* owner, const QString& sPrompt) {
    // The home folder, not the folder another dialog used last.
    return QFileDialog::getExistingDirectory(owner, sPrompt, QDir::homePath(),
                                             QFileDialog::ShowDirsOnly);
}

QString OwnerDialogs::ChooseFileToSave(QWidget* owner, const QString& sTitle,
                                       const QString& sSuggestedName) {
    return QFileDialog::getSaveFileName(owner, sTitle, QDir::home().filePath(sSuggestedName));
}

QStringList OwnerDialogs::WelcomeGraphicFilters() {
    return {Translated(QT_TRANSLATE_NOOP("OwnerDialogs", "WBMP files (*.WBMP) (*.wbmp *.WBMP)")),
            Translated(QT_TRANSLATE_NOOP("OwnerDialogs", "GIF files (*.GIF) (*.gif *.GIF)")),
            Translated(QT_TRANSLATE_NOOP("OwnerDialogs", "All Files (*.*) (*)"))};
}

int OwnerDialogs::WidthForTitle(const QWidget& dialog) {
    const QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    // Room beside the title for the window manager's icon and buttons.
    const int decorations = 4 * dialog.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    return QFontMetrics(titleFont).horizontalAdvance(dialog.windowTitle()) + decorations;
}

QString OwnerDialogs::BrowseWelcomeGraphic(QWidget* owner, const QString& sCurrentPath) {
    QFileDialog dialog(owner,
                       Translated(QT_TRANSLATE_NOOP("OwnerDialogs", "Pocketlane - Welcome image")));
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
    // A message box sizes itself to its text; a spacer across its grid keeps
    // its title uncut.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(WidthForTitle(box), 0, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return QMessageBox::StandardButton(box.exec());
}

bool OwnerDialogs::AskToStartAfresh(QWidget* owner, const QString& sProblem) {
    const QString text =
        sProblem + QStringLiteral(".\n\n") +
        Translated(QT_TRANSLATE_NOOP(
            "OwnerDialogs", "Pocketlane has not started serving. Start afresh with first-run "
                            "values? Visitors would then reach the site without its password, no "
                            "folder would be shared, and the file would be kept beside the new one "
                            "(\".unreadable-\" and the time added to its name).\n\nNo closes "
                            "Pocketlane, so that you can mend the file."));
    return Ask(owner, QMessageBox::Warning, QStringLiteral("Pocketlane"), text,
               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::optional<QString> OwnerDialogs::InputBox(QWidget* owner, const QString& sPrompt,
                                              const QString& sTitle) {
    QInputDialog dialog(owner);
    dialog.setWindowTitle(sTitle);
    dialog.setLabelText(sPrompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setMinimumWidth(WidthForTitle(dialog));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}
