#pragma once

#include <QStringList>
#include <QTreeWidget>

// The window's tree menu `tvMenu`: one entry per panel, with its picture
// pair, "Modules" open, as wide as its longest entry. Each entry's key (its
// English text) is kept beside its translated text.
class PanelMenu : public QTreeWidget {
    Q_OBJECT
public:
    explicit PanelMenu(QWidget* parent = nullptr);

    // The entries' keys, in order.
    static const QStringList& Entries();
    static QString KeyOf(const QTreeWidgetItem* item);

    // Fills the tree afresh, without signals.
    void Build();
    QTreeWidgetItem* Entry(const QString& key) const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void fitWidth();
};
