#include "desktop/NamedWidget.h"

#include <QBoxLayout>
#include <QListView>
#include <QPushButton>

QListView* NamedModelList(const char* name, QAbstractItemModel& model) {
    auto* list = NamedWidget<QListView>(name);
    list->setModel(&model);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return list;
}

void AddButtonRow(QBoxLayout& layout, std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    for (QPushButton* button : buttons)
        row->addWidget(button);
    row->addStretch();
    layout.addLayout(row);
}
