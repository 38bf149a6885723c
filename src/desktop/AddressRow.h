#pragma once

#include <QUrl>
#include <QWidget>

class LinkLabel;

// The row below the window's panels: "Your IP Address:" and the address
// field `lblLocalIP`, a link label that is live only while it links to the
// what-is-my-IP page.
class AddressRow : public QWidget {
    Q_OBJECT
public:
    explicit AddressRow(QWidget* parent = nullptr);

    LinkLabel* Field() const { return m_field; }

    // The field's text, and its tag ("1" makes it a live link to target).
    void SetAddress(const QString& sText, const QString& tag, const QUrl& target);

private:
    LinkLabel* m_field;
};
