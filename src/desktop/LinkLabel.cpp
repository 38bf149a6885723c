#include "desktop/LinkLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>

LinkLabel::LinkLabel(const QString& sText, QWidget* parent)
    : QLabel(sText, parent)
    , m_opener([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    setTextFormat(Qt::PlainText);
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
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, bOn ? QColor(Qt::blue) : QColor(Qt::black));
    setPalette(palette);
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
