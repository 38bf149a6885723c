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

void LinkLabel::setLive(bool bLive) {
    m_live = bLive;
    if (!bLive)
        setHighlighted(false);
}

void LinkLabel::setHighlighted(bool bOn) {
    m_highlighted = bOn;
    QFont font = this->font();
    font.setUnderline(bOn);
    setFont(font);
    // The desktop's own link and text colours, so that the label stays
    // readable in a dark colour scheme and follows a change of scheme.
    setForegroundRole(bOn ? QPalette::Link : QPalette::WindowText);
    if (bOn)
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
