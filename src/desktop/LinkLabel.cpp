#include "desktop/LinkLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>

LinkLabel::LinkLabel(const QString& sText, QWidget* parent)
    : QLabel(sText, parent)
    , m_opener([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    setTextFormat(Qt::PlainText);
    // A link named by its own text; a label whose text is a value (an
    // address, an answer) is given a name by its owner.
    setAccessibleName(sText);
    setHighlighted(false);
}

void LinkLabel::setLive(bool live) {
    m_live = live;
    if (!live)
        setHighlighted(false);
}

void LinkLabel::setHighlighted(bool on) {
    m_highlighted = on;
    QFont font = this->font();
    font.setUnderline(on);
    setFont(font);
    // The desktop's own link and text colours, so that the label stays
    // readable in a dark colour scheme and follows a change of scheme.
    setForegroundRole(on ? QPalette::Link : QPalette::WindowText);
    if (on)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void LinkLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    if (m_live)
        setHighlighted(true);
}

void LinkLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    if (m_highlighted)
        setHighlighted(false);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (!m_live || !rect().contains(event->position().toPoint()))
        return;
    m_opener(m_target);
    setHighlighted(false);
}
