#pragma once

#include "desktop/OptionBindings.h"
#include "settings/Settings.h"

#include <QString>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QVBoxLayout;

// The small pieces the window's panels are built of.
class PanelWidgets {
public:
    // A text field with no caption of its own: its accessible name says what
    // it holds.
    static QLineEdit* NamedField(const char* name, const QString& accessibleName,
                                 bool masked = false);
    // An indented text under a control, wrapped.
    static QLabel* Description(const QString& text);
    // The switch, the masked field and the warning of a password.
    static void AddPassword(QVBoxLayout* layout, OptionBindings& bindings, QCheckBox* box,
                            Settings::Option switchOption, const char* fieldName,
                            Settings::Option textOption, OptionBindings::WriteText when,
                            const char* warningName);
    static QGroupBox* Group(const QString& title, QLayout* content);
    static QLabel* WrappedLabel(const QString& text);
    static QLabel* Heading(const QString& text);
};
