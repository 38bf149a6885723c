#include "desktop/Banner.h"

#include "desktop/ImageList.h"

#include <QPainter>

Banner::Banner(QWidget* parent)
    : QWidget(parent)
    , m_picture(ImageList::Banner())
    , m_size(ImageList::BannerSize()) {
    setObjectName(QStringLiteral("imgBanner"));
    setFixedHeight(m_size.height());
    setMinimumWidth(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize Banner::sizeHint() const {
    return m_size;
}

// The picture at its own size, drawn sharp at the screen's scale; the rest
// of the width repeats its last column.
void Banner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPixmap picture = m_picture.pixmap(m_size, devicePixelRatioF());
    painter.drawPixmap(QRect(QPoint(0, 0), m_size), picture);
    if (width() <= m_size.width())
        return;
    const qreal scale = picture.devicePixelRatio();
    const QRect lastColumn(int((m_size.width() - 1) * scale), 0, 1, picture.height());
    painter.drawPixmap(QRect(m_size.width(), 0, width() - m_size.width(), m_size.height()), picture,
                       lastColumn);
}
