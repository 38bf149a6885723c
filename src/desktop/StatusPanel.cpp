#include "desktop/StatusPanel.h"

#include "base/StatusLog.h"
#include "desktop/OwnerDialogs.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QSaveFile>
#include <QTreeView>
#include <QVBoxLayout>

StatusPanel::StatusPanel(StatusLog& log, OwnerDialogs& dialogs, QWidget* parent)
    : QWidget(parent)
    , m_model(log)
    , m_dialogs(dialogs)
    , m_list(new QTreeView(this)) {
    setObjectName(QStringLiteral("picStatus"));
    m_list->setObjectName(QStringLiteral("lvStatus"));
    m_list->setAccessibleName(tr("Status log"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setModel(&m_model);
    m_list->header()->setStretchLastSection(true);
    m_list->resizeColumnToContents(StatusLog::DateColumn);
    m_list->setColumnWidth(StatusLog::DateColumn, m_list->fontMetrics().horizontalAdvance(
                                                      QStringLiteral("0000-00-00 00:00:00")) +
                                                      m_list->iconSize().width() + 32);
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);
    const auto addAction = [this](const QString& sText, const char* name, const QKeySequence& keys,
                                  void (StatusPanel::*act)()) {
        auto* action = new QAction(sText, m_list);
        action->setObjectName(QLatin1StringView(name));
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, act);
        m_list->addAction(action);
    };
    addAction(tr("&Copy"), "actCopyStatus", QKeySequence::Copy, &StatusPanel::CopyLines);
    addAction(tr("&Save as..."), "actSaveStatus", QKeySequence::Save, &StatusPanel::SaveLinesAs);
    addAction(tr("C&lear"), "actClearStatus", {}, &StatusPanel::ClearView);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    // A new line is seen without scrolling by hand.
    connect(&m_model, &QAbstractItemModel::rowsInserted, m_list, &QTreeView::scrollToBottom);
}

void StatusPanel::CopyLines() {
    QModelIndexList rows = m_list->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QApplication::clipboard()->setText(m_model.shownText(rows));
}

void StatusPanel::SaveLinesAs() {
    const QString file = m_dialogs.ChooseFileToSave(this, tr("Pocketlane - Save the status log"),
                                                    QStringLiteral("pocketlane-status.log"));
    if (file.isEmpty())
        return;
    QSaveFile out(file);
    if (out.open(QIODevice::WriteOnly) && out.write(m_model.shownText().toUtf8()) >= 0 &&
        out.commit())
        return;
    m_dialogs.Ask(this, QMessageBox::Warning, QStringLiteral("Pocketlane"),
                  tr("The status log could not be saved to %1: %2").arg(file, out.errorString()),
                  QMessageBox::Ok);
}

void StatusPanel::ClearView() {
    m_model.clearView();
}
