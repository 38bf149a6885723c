#pragma once

#include <QLatin1StringView>

#include <utility>

// A new widget with its object name (the name by which the owner's controls
// are known: chkEnablePassword, btnAddFolder...).
template <typename Widget, typename... Arguments>
Widget* NamedWidget(const char* name, Arguments&&... arguments) {
    auto* widget = new Widget(std::forward<Arguments>(arguments)...);
    widget->setObjectName(QLatin1StringView(name));
    return widget;
}
