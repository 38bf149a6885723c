#pragma once

#include <QWidget>

class GraffitiBoard;
class OptionBindings;
class OwnerDialogs;
class QListView;
class QPushButton;

// The Graffiti panel: the board's messages in `lbGraffiti` (a visitor's new
// message shows at once), the owner's commands to add one, remove the
// selected one and remove them all, the two stamp options and whether the
// board is kept across restarts.
class GraffitiPanel : public QWidget {
    Q_OBJECT
public:
    GraffitiPanel(GraffitiBoard& board, OptionBindings& bindings, OwnerDialogs& dialogs,
                  QWidget* parent = nullptr);

    void AddGraffiti();
    void RemoveGraffiti();
    void RemoveAllGraffiti();

    // Both removal commands on or off (at start-up on only for messages kept
    // from the last run; on whenever a message may have been added).
    void EnableRemoval(bool enabled);

private:
    void disableRemovalWhenEmpty();

    GraffitiBoard& m_board;
    OwnerDialogs& m_dialogs;
    QListView* m_list;
    QPushButton* m_remove;
    QPushButton* m_removeAll;
};
