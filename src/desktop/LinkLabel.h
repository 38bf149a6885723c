#pragma once

#include <QLabel>
#include <QUrl>

#include <functional>

// A label that acts as a link to a web page while it is live: under the
// pointer its text takes the desktop's link colour, underlined, and the
// pointer becomes the link pointer; when the pointer leaves it takes the
// text colour again; a mouse button
// released over it opens its target in the desktop's browser. A label that is
// not live does not react to the pointer at all.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    using Opener = std::function<void(const QUrl&)>;

    explicit LinkLabel(const QString& sText = {}, QWidget* parent = nullptr);

    void setTarget(const QUrl& target) { m_target = target; }
    QUrl target() const { return m_target; }

    void setLive(bool bLive);
    bool isLive() const { return m_live; }

    // Whether the label shows itself as a link now (link colour, underlined).
    bool isHighlighted() const { return m_highlighted; }

    // How a target is opened (QDesktopServices by default).
    void setOpener(Opener opener) { m_opener = std::move(opener); }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setHighlighted(bool bOn);

    QUrl m_target;
    bool m_live = true;
    bool m_highlighted = false;
    Opener m_opener;
};
