#pragma once

#include <QIcon>
#include <QWidget>

// The banner across the top of the window: the program's picture at its
// left, its right-hand edge stretched to the window's width, so that the
// banner runs the whole width at any window size and scale.
class Banner : public QWidget {
    Q_OBJECT
public:
    explicit Banner(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QIcon m_picture;
    QSize m_size;
};
