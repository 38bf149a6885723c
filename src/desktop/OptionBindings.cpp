#include "desktop/OptionBindings.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QSignalBlocker>

OptionBindings::OptionBindings(Settings& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings) {
    connect(&m_settings, &Settings::optionChanged, this, &OptionBindings::showOption);
}

QCheckBox* OptionBindings::bindSwitch(QCheckBox* box, Settings::Option eOption) {
    m_switches.insert(eOption, box);
    box->setChecked(m_settings.isOn(eOption));
    connect(box, &QCheckBox::clicked, this,
            [this, eOption](bool bChecked) { m_settings.setSwitch(eOption, bChecked); });
    return box;
}

QLineEdit* OptionBindings::bindText(QLineEdit* field, Settings::Option eOption, WriteText eWhen) {
    m_fields.insert(eOption, field);
    field->setText(QString::fromUtf8(m_settings.text(eOption)));
    if (eWhen == WriteText::OnEveryChange)
        connect(field, &QLineEdit::textEdited, this, [this, eOption] { writeField(eOption); });
    else
        connect(field, &QLineEdit::editingFinished, this, [this, eOption] { writeField(eOption); });
    if (const auto governor = Settings::GoverningSwitch(eOption))
        governBy(*governor, field);
    return field;
}

void OptionBindings::governBy(Settings::Option eSwitch, QWidget* widget) {
    m_governed.insert(eSwitch, widget);
    applyEditable(eSwitch);
}

void OptionBindings::writePendingText() {
    for (auto it = m_fields.cbegin(); it != m_fields.cend(); ++it) {
        const auto option = Settings::Option(it.key());
        if (it.value()->text().toUtf8() != m_settings.text(option))
            writeField(option);
    }
}

void OptionBindings::writeField(Settings::Option eOption) {
    m_settings.setText(eOption, m_fields.value(eOption)->text().toUtf8());
}

// Shows the option's new value without counting it as the owner's edit.
void OptionBindings::showOption(Settings::Option eOption) {
    if (QCheckBox* box = m_switches.value(eOption)) {
        const QSignalBlocker quiet(box);
        box->setChecked(m_settings.isOn(eOption));
    }
    if (QLineEdit* field = m_fields.value(eOption)) {
        const QString text = QString::fromUtf8(m_settings.text(eOption));
        if (field->text() != text) {
            const QSignalBlocker quiet(field);
            field->setText(text);
        }
    }
    if (m_governed.contains(eOption))
        applyEditable(eOption);
}

void OptionBindings::applyEditable(Settings::Option eSwitch) {
    const bool on = m_settings.isOn(eSwitch);
    const QList<QWidget*> widgets = m_governed.values(eSwitch);
    for (QWidget* widget : widgets) {
        if (auto* field = qobject_cast<QLineEdit*>(widget)) {
            field->setReadOnly(!on);
            // Read-only, the field takes the window's colour of the
            // desktop's scheme, as a label would; editable, the field colour.
            const QPalette scheme = QApplication::palette(field);
            QPalette palette = field->palette();
            palette.setBrush(QPalette::Base, on ? scheme.base() : scheme.window());
            field->setPalette(palette);
        } else
            widget->setEnabled(on);
    }
}
