#include "desktop/GraffitiPanel.h"

#include "desktop/NamedWidget.h"
#include "desktop/OptionBindings.h"
#include "desktop/OwnerDialogs.h"
#include "site/graffiti/GraffitiBoard.h"

#include <QCheckBox>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

GraffitiPanel::GraffitiPanel(GraffitiBoard& board, OptionBindings& bindings, OwnerDialogs& dialogs,
                             QWidget* parent)
    : QWidget(parent)
    , m_board(board)
    , m_dialogs(dialogs)
    , m_list(NamedModelList("lbGraffiti", board))
    , m_remove(NamedWidget<QPushButton>("cmdRemoveGraffiti", tr("Remove")))
    , m_removeAll(NamedWidget<QPushButton>("cmdRemoveAllGraffiti", tr("Remove All"))) {
    setObjectName(QStringLiteral("picGraffiti"));
    m_list->setAccessibleName(tr("Graffiti messages"));

    auto* add = NamedWidget<QPushButton>("cmdAddGraffiti", tr("Add"));
    connect(add, &QPushButton::clicked, this, &GraffitiPanel::AddGraffiti);
    connect(m_remove, &QPushButton::clicked, this, &GraffitiPanel::RemoveGraffiti);
    connect(m_removeAll, &QPushButton::clicked, this, &GraffitiPanel::RemoveAllGraffiti);
    // A visitor's message: it shows in the list, and the owner may remove it.
    connect(&m_board, &QAbstractItemModel::rowsInserted, this, [this] { EnableRemoval(true); });
    connect(&m_board, &QAbstractItemModel::rowsInserted, m_list, &QListView::scrollToBottom);
    // Messages kept from the last run may be removed at once.
    EnableRemoval(m_board.count() > 0);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    AddButtonRow(*layout, {add, m_remove, m_removeAll});
    layout->addWidget(bindings.bindSwitch(
        NamedWidget<QCheckBox>("chkGraffitiIncludeDate", tr("Include date with Graffiti")),
        Settings::GraffitiShowDate));
    layout->addWidget(bindings.bindSwitch(
        NamedWidget<QCheckBox>("chkGraffitiIncludeTime", tr("Include time with Graffiti")),
        Settings::GraffitiShowTime));
    layout->addWidget(bindings.bindSwitch(
        NamedWidget<QCheckBox>("chkKeepGraffiti", tr("Keep Graffiti when Pocketlane restarts")),
        Settings::KeepGraffiti));
}

void GraffitiPanel::EnableRemoval(bool bEnabled) {
    m_remove->setEnabled(bEnabled);
    m_removeAll->setEnabled(bEnabled);
}

void GraffitiPanel::AddGraffiti() {
    const auto text = m_dialogs.InputBox(this, tr("Type your new Graffiti here"),
                                         tr("Pocketlane - Add Graffiti"));
    if (text && !text->isEmpty())
        m_board.AddGraffiti(text->toUtf8());
    EnableRemoval(true);
}

void GraffitiPanel::RemoveGraffiti() {
    const QModelIndex selected = m_list->currentIndex();
    if (!selected.isValid() || !m_list->selectionModel()->isSelected(selected))
        return;
    m_board.removeAt(selected.row());
    disableRemovalWhenEmpty();
}

void GraffitiPanel::RemoveAllGraffiti() {
    if (m_dialogs.Ask(this, QMessageBox::Question, tr("Pocketlane"),
                      tr("Are you sure you want to remove all the Graffiti?"),
                      QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    m_board.removeAll();
    disableRemovalWhenEmpty();
}

void GraffitiPanel::disableRemovalWhenEmpty() {
    if (m_board.count() == 0)
        // Messages kept from the last run may be removed at once.
        EnableRemoval(m_board.count() > 0);
}
