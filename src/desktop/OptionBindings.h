#pragma once

#include "settings/Settings.h"

#include <QHash>
#include <QList>
#include <QObject>

class QCheckBox;
class QLineEdit;
class QWidget;

// Binds the option controls of the panels to the owner's options: each
// control shows its option and follows its changes, and each change by the
// owner goes to the options, which write it at once. A text field whose
// option is governed by a switch is editable only while that switch is on.
class OptionBindings : public QObject {
    Q_OBJECT
public:
    // When a text field's typing is written.
    enum class WriteText { OnEveryChange, OnFocusLoss };

    explicit OptionBindings(Settings& settings, QObject* parent = nullptr);

    QCheckBox* bindSwitch(QCheckBox* box, Settings::Option eOption);
    QLineEdit* bindText(QLineEdit* field, Settings::Option eOption, WriteText when);
    // A further widget (a browse button) enabled only while the switch is on.
    void governBy(Settings::Option switchOption, QWidget* widget);

    // Writes every text field whose text differs from its option: typing in a
    // field that still has the focus is not lost when the window closes or the
    // program ends.
    void writePendingText();

private:
    void showOption(Settings::Option eOption);
    void applyEditable(Settings::Option switchOption);
    void writeField(Settings::Option eOption);

    Settings& m_settings;
    QHash<int, QCheckBox*> m_switches;
    QHash<int, QLineEdit*> m_fields;
    QMultiHash<int, QWidget*> m_governed;
};
