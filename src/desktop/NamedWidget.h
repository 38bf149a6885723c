#pragma once

#include <QLatin1StringView>

#include <initializer_list>

#include <utility>

// A new widget with its object name (the name by which the owner's controls
// are known: chkEnablePassword, btnAddFolder...).
template <typename Widget, typename... Arguments>
Widget* NamedWidget(const char* name, Arguments&&... arguments) {
    auto* widget = new Widget(std::forward<Arguments>(arguments)...);
    widget->setObjectName(QLatin1StringView(name));
    return widget;
}

class QAbstractItemModel;
class QBoxLayout;
class QListView;
class QPushButton;

// A list of the model's rows that the owner selects one at a time and
// never edits in place.
QListView* NamedModelList(const char* name, QAbstractItemModel& model);

// A row of buttons, left-aligned, added at the end of layout.
void AddButtonRow(QBoxLayout& layout, std::initializer_list<QPushButton*> buttons);
