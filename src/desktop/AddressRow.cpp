#include "desktop/AddressRow.h"

#include "desktop/LinkLabel.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>

namespace {
// The row's texts are translated in the window's context, beside its others.
QString Translated(const char* text) {
    return QCoreApplication::translate("frmMain", text);
}
} // namespace

AddressRow::AddressRow(QWidget* parent)
    : QWidget(parent)
    , m_field(new LinkLabel) {
    m_field->setObjectName(QStringLiteral("lblLocalIP"));
    m_field->setLive(false);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 0, 4, 0);
    auto* caption = new QLabel(Translated("Your IP Address:"));
    caption->setBuddy(m_field);
    m_field->setAccessibleName(Translated("Your IP Address"));
    row->addWidget(caption);
    row->addWidget(m_field, 1);
}

void AddressRow::SetAddress(const QString& sText, const QString& tag, const QUrl& target) {
    m_field->setText(sText);
    m_field->setTarget(target);
    m_field->setLive(tag == QStringLiteral("1"));
}
