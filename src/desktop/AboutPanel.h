#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

// The About panel: the program's name and version and the link to the
// maker's web site (`lblURL`).
class AboutPanel : public QWidget {
    Q_OBJECT
public:
    explicit AboutPanel(QWidget* parent = nullptr);
};
