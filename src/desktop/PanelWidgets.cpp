#include "desktop/PanelWidgets.h"

#include "desktop/NamedWidget.h"
#include "site/GuessThrottle.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

// A warning under a password field, shown while its switch is on and the
// password typed could be guessed within a day.
QLabel* WeakPasswordWarning(const char* name, QCheckBox* box, QLineEdit* field) {
    auto* warning =
        PanelWidgets::Description(QString::fromLatin1(GuessThrottle::WeakPasswordWarning));
    warning->setObjectName(QString::fromLatin1(name));
    const auto update = [warning, box, field] {
        warning->setHidden(!box->isChecked() || !GuessThrottle::FallsWithinADay(field->text()));
    };
    QObject::connect(box, &QCheckBox::toggled, warning, update);
    QObject::connect(field, &QLineEdit::textChanged, warning, update);
    update();
    return warning;
}

} // namespace

QLineEdit* PanelWidgets::NamedField(const char* name, const QString& accessibleName, bool masked) {
    auto* field = NamedWidget<QLineEdit>(name);
    field->setAccessibleName(accessibleName);
    if (masked)
        field->setEchoMode(QLineEdit::Password);
    return field;
}

QLabel* PanelWidgets::Description(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setIndent(24);
    return label;
}

void PanelWidgets::AddPassword(QVBoxLayout* layout, OptionBindings& bindings, QCheckBox* box,
                               Settings::Option switchOption, const char* fieldName,
                               Settings::Option textOption, OptionBindings::WriteText when,
                               const char* warningName) {
    layout->addWidget(bindings.bindSwitch(box, switchOption));
    auto* field = bindings.bindText(
        NamedField(fieldName, QCoreApplication::translate("OptionsPanel", "Password"), true),
        textOption, when);
    layout->addWidget(field);
    layout->addWidget(WeakPasswordWarning(warningName, box, field));
}

QGroupBox* PanelWidgets::Group(const QString& title, QLayout* content) {
    auto* group = new QGroupBox(title);
    group->setLayout(content);
    return group;
}

QLabel* PanelWidgets::WrappedLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

QLabel* PanelWidgets::Heading(const QString& text) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.2);
    label->setFont(font);
    return label;
}
